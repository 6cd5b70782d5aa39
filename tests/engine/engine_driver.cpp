// Starts the update engine the way the launcher application does and prints what the window
// would see, one line each: "<version> status <status> <percent>" for every change, then
// "<version> error <number> <message>" once the engine has ended or is ready. At status 9 it
// waits for a line on standard input (the player closing the window) before it sets the exit
// event; it then waits for the update thread and prints "<version> exited".
//
//   engine_driver [--stop] [--resume=yes|no] [--fail=<operation>:<path suffix>]...
//                 [--slow=<operation>:<path suffix>]... [--stop-on=<operation>:<path suffix>]...
//                 [--throw=<operation>:<path suffix>]...
//   engine_driver -update          (the downloaded copy: replace the launcher and restart it)
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/engine/status_report.h"
#include "update/file_utils.h"
#include "update/resume.h"
#include "update/selfupdate.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace {

// The message on one line: its line breaks become "\\n".
std::string OneLine(const CString& str) {
    std::string text;
    for (char c : WideToUtf8(str)) {
        if (c == '\n')
            text += "\\n";
        else if (c != '\r')
            text += c;
    }
    return text;
}

// What happens at file operations on paths with a given suffix: they fail (EIO), so failure
// paths are reached even as root; they are held up for a moment, so a status the driver only
// samples stays long enough to be seen; the player confirms a stop there; or they throw an
// exception from outside the framework's family, as the standard library may.
enum class RuleAction { Fail, Slow, Stop, Throw };

struct FileRule {
    FileOperation operation;
    CString suffix;
    RuleAction action;
};
std::vector<FileRule> g_rules;

void AddFileRule(const std::string& option, RuleAction action) {
    static const std::pair<const char*, FileOperation> kOperations[] = {
        {"open", FileOperation::Open},
        {"read", FileOperation::Read},
        {"write", FileOperation::Write},
        {"delete", FileOperation::Delete},
        {"move", FileOperation::Move},
        {"mkdir", FileOperation::CreateDirectory},
        {"rmdir", FileOperation::RemoveDirectory}};
    const std::size_t colon = option.find(':');
    for (const auto& [name, operation] : kOperations)
        if (option.substr(0, colon) == name)
            g_rules.push_back({operation, Utf8ToWide(option.substr(colon + 1)).c_str(), action});
    SetFaultHook([](FileOperation op, const CString& path) {
        for (const FileRule& rule : g_rules) {
            if (op != rule.operation || path.Right(rule.suffix.GetLength()) != rule.suffix)
                continue;
            switch (rule.action) {
                case RuleAction::Fail:
                    return EIO;
                case RuleAction::Slow:
                    Sleep(100);
                    break;
                case RuleAction::Stop:
                    g_bStop = TRUE;
                    break;
                case RuleAction::Throw:
                    throw std::runtime_error("injected at " + WideToUtf8(path));
            }
        }
        return 0;
    });
}

}  // namespace

int main(int argc, char** argv) {
    _wsetlocale(LC_ALL, L"");
    if (argc == 2 && std::strcmp(argv[1], "-update") == 0) {
        ReplaceLauncher();
        return 0;
    }
    bool bStop = false;
    bool bResume = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--stop") bStop = true;
        if (arg == "--resume=no") bResume = false;
        if (arg.rfind("--fail=", 0) == 0) AddFileRule(arg.substr(7), RuleAction::Fail);
        if (arg.rfind("--slow=", 0) == 0) AddFileRule(arg.substr(7), RuleAction::Slow);
        if (arg.rfind("--stop-on=", 0) == 0) AddFileRule(arg.substr(10), RuleAction::Stop);
        if (arg.rfind("--throw=", 0) == 0) AddFileRule(arg.substr(8), RuleAction::Throw);
    }
    const std::string version = engine_test::VersionText();
    const bool bResumable = CanResumeUpdate() != FALSE;
    std::printf("%s resumable %d\n", version.c_str(), bResumable ? 1 : 0);
    if (bResumable && !bResume) g_resume.nStatus = 0;
    // A stop confirmed before the engine reaches its first stop point.
    if (bStop) g_bStop = TRUE;
    BeginUpdate();

    const int nLastStatus = engine_test::ReportStatusUntilFinal(version);
    std::printf("%s error %d %s\n", version.c_str(), static_cast<int>(g_nErrorCode),
                OneLine(GetErrorMessage()).c_str());
    std::fflush(stdout);
    if (nLastStatus == STATUS_READY) {
        std::string line;
        std::getline(std::cin, line);
    }
    g_evExit.SetEvent();
    if (g_hUpdateThread != nullptr) WaitForSingleObject(g_hUpdateThread, INFINITE);
    std::printf("%s exited\n", version.c_str());
    std::fflush(stdout);
    return 0;
}
