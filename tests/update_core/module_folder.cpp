#include "module_folder.h"

#include <filesystem>

#include "platform/utf8.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/resume.h"
#include "update/status.h"

namespace {
std::filesystem::path TempPath() { return WideToUtf8(GetModuleDir() + kTempDir); }
}  // namespace

void ResetEngineState() {
    SetStatus(0, 0);
    g_nErrorCode = -1;
    g_strError.Empty();
    g_resume = ResumeRecord{0, 0, 0, 0};
}

ModuleTempFolder::ModuleTempFolder() {
    ResetEngineState();
    std::filesystem::remove_all(TempPath());
    std::filesystem::create_directory(TempPath());
}

ModuleTempFolder::~ModuleTempFolder() {
    std::error_code error;
    std::filesystem::remove_all(TempPath(), error);
    ResetEngineState();
}

CString ModuleTempFolder::ResumePath() const { return GetModuleDir() + kTempDir + kResumeData; }
