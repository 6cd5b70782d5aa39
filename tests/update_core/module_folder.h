// The scratch folder beside the test executable (the "launcher folder"), made empty for a case
// and removed after it, with the engine's shared state reset.
#pragma once

#include <string>

#include "platform/cstring.h"

class ModuleTempFolder {
public:
    ModuleTempFolder();
    ~ModuleTempFolder();
    ModuleTempFolder(const ModuleTempFolder&) = delete;
    ModuleTempFolder& operator=(const ModuleTempFolder&) = delete;

    // Launcher folder + "temp/resume.data".
    CString ResumePath() const;
};

// Puts the status model and the resume record back to their start values.
void ResetEngineState();
