// Runs the update engine as the launcher does, and plays a player who may stop the update once it
// reaches a given status. Prints the lines that tests/engine's ParseReport reads:
// "<version> resumable <0|1>", "<version> status <status> <percent>" per change,
// "<version> error <number> <message>" and "<version> exited". At status 9 it exits at once, or
// with --hold once a line arrives on standard input (the player closing the window).
//
//   update_driver [--resume=yes|no] [--stop-at=<status>[:<percent>]] [--hold]
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "tests/engine/status_report.h"
#include "update/file_utils.h"
#include "update/resume.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace {

struct StopPoint {
    int nStatus = -1;
    int nPercent = -1;

    bool Reached(int nNowStatus, int nNowPercent) const {
        return nStatus >= 0 && nNowStatus == nStatus && nNowPercent >= nPercent;
    }
};

StopPoint ParseStopPoint(const std::string& text) {
    StopPoint point;
    const std::size_t colon = text.find(':');
    point.nStatus = std::stoi(text.substr(0, colon));
    if (colon != std::string::npos) point.nPercent = std::stoi(text.substr(colon + 1));
    return point;
}

}  // namespace

int main(int argc, char** argv) {
    _wsetlocale(LC_ALL, L"");
    bool bResume = true;
    bool bHold = false;
    StopPoint stopAt;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--resume=no") bResume = false;
        if (arg == "--hold") bHold = true;
        if (arg.rfind("--stop-at=", 0) == 0) stopAt = ParseStopPoint(arg.substr(10));
    }
    const std::string version = engine_test::VersionText();

    if (stopAt.nStatus >= 0) {
        // Extraction and patching of the small test games can be over between two polls, and a
        // stop seen only after them lands in the next pass instead. The engine's own file
        // operations run inside their stage, so the player's stop is also taken there.
        SetFaultHook([stopAt](FileOperation, const CString&) {
            int nStatus = 0;
            int nPercent = 0;
            int nBar = 0;
            GetStatus(&nStatus, &nPercent, &nBar);
            if (stopAt.Reached(nStatus, nPercent)) g_bStop = TRUE;
            return 0;
        });
    }
    const bool bResumable = CanResumeUpdate() != FALSE;
    std::printf("%s resumable %d\n", version.c_str(), bResumable ? 1 : 0);
    if (bResumable && !bResume) g_resume.nStatus = 0;
    BeginUpdate();

    const int nLastStatus =
        engine_test::ReportStatusUntilFinal(version, [&stopAt](int nStatus, int nPercent) {
            if (stopAt.Reached(nStatus, nPercent)) g_bStop = TRUE;
        });
    std::string message;
    for (char c : WideToUtf8(GetErrorMessage())) message += c == '\n' ? ' ' : c;
    std::printf("%s error %d %s\n", version.c_str(), static_cast<int>(g_nErrorCode),
                message.c_str());
    std::fflush(stdout);
    if (bHold && nLastStatus == STATUS_READY) {
        char line[64];
        if (std::fgets(line, sizeof line, stdin) == nullptr) {
            // The test has gone; end as the window would.
        }
    }
    g_evExit.SetEvent();
    if (g_hUpdateThread != nullptr) WaitForSingleObject(g_hUpdateThread, INFINITE);
    std::printf("%s exited\n", version.c_str());
    std::fflush(stdout);
    return 0;
}
