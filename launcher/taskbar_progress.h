// The progress shown on the launcher's taskbar entry: the desktop's launcher-entry progress
// (com.canonical.Unity.LauncherEntry "Update"), sent over the session bus.
#pragma once

#include <memory>

#include "platform/types.h"

class CTaskbarProgress {
public:
    // nullptr when there is no session bus to send to; then there is no taskbar progress.
    static std::unique_ptr<CTaskbarProgress> Create();

    void SetProgressValue(ULONGLONG ullCompleted, ULONGLONG ullTotal);

    // The desktop file the progress is meant for.
    static constexpr const char* kAppUri = "application://VarnholtLauncher.desktop";
    static constexpr const char* kObjectPath = "/com/varnholt/Launcher";
};
