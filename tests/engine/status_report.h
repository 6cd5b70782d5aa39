// What the test drivers print of a running update, the lines that ParseReport reads: the
// launcher's version text and one "<version> status <status> <percent>" line per change.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "update/file_utils.h"
#include "update/status.h"

namespace engine_test {

inline std::string VersionText() {
    const ULONGLONG v = GetModuleVersion();
    return std::to_string(HIWORD(HIDWORD(v))) + "." + std::to_string(LOWORD(HIDWORD(v))) + "." +
           std::to_string(HIWORD(LODWORD(v))) + "." + std::to_string(LOWORD(LODWORD(v)));
}

// Prints every change of status or percent until the engine is ready or has ended, and returns
// the last status. onPoll sees every poll, so a player can stop at a chosen point. The poll is
// far more frequent than the window's: a stage on small test data can be over in a millisecond.
inline int ReportStatusUntilFinal(const std::string& version,
                                  const std::function<void(int, int)>& onPoll = {}) {
    int nLastStatus = -2;
    int nLastPercent = -2;
    for (;;) {
        int nStatus = 0;
        int nPercent = 0;
        int nBar = 0;
        GetStatus(&nStatus, &nPercent, &nBar);
        if (nStatus != nLastStatus || nPercent != nLastPercent) {
            std::printf("%s status %d %d\n", version.c_str(), nStatus, nPercent);
            std::fflush(stdout);
            nLastStatus = nStatus;
            nLastPercent = nPercent;
        }
        if (onPoll) onPoll(nStatus, nPercent);
        if (nStatus == STATUS_READY || nStatus >= STATUS_STOPPED) return nStatus;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

}  // namespace engine_test
