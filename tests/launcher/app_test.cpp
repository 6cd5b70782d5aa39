// The application object's start-up paths: the hand-over switch, the resume question, an update
// engine that cannot start, and a browser that cannot run. Every start-up here ends before the
// window: the browser's helper process is made unusable unless a case needs otherwise.
#include "launcher/app.h"

#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

#include "launcher/resource.h"
#include "module_folder.h"
#include "platform/fault_hook.h"
#include "platform/message_box.h"
#include "platform/utf8.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/resume.h"
#include "update/status.h"

namespace {

// A box as (string id, type); id 0 for a text that is none of the start-up's own.
using Box = std::pair<UINT, UINT>;

UINT StringIdOf(const CString& text) {
    const UINT kIds[] = {IDP_OLE_INIT_FAILED, IDS_ERR_CLIENT_UPDATE, IDS_CONFIRM_RESTORE};
    for (UINT id : kIds) {
        CString known;
        known.LoadString(id);
        if (text == known) return id;
    }
    return 0;
}

// From now on the calling thread (only it) cannot start threads: they fail as when the system
// is out of them. False when the system refuses the filter.
bool RefuseNewThreadsOnThisThread() {
#if defined(__x86_64__)
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_clone3, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
#else
    return false;
#endif
}

class AppStartUp : public ::testing::Test {
protected:
    void SetUp() override {
        previousBoxHook = SetMessageBoxHook([this](const CString& text, UINT type) {
            boxes.emplace_back(StringIdOf(text), type);
            return resumeAnswer;
        });
        // A hand-over, taken or not, must never start a copy of this test program.
        SetFaultHook([](FileOperation operation, const CString&) {
            return operation == FileOperation::Copy ? EACCES : 0;
        });
        previousHelper = qgetenv("QTWEBENGINE_PROCESS_PATH");
        hadHelper = qEnvironmentVariableIsSet("QTWEBENGINE_PROCESS_PATH");
        const std::filesystem::path helper = WideToUtf8(GetModuleDir() + kTempDir) + "helper";
        std::ofstream(helper) << "#!/bin/sh\n";
        std::filesystem::permissions(helper, std::filesystem::perms::owner_read);
        qputenv("QTWEBENGINE_PROCESS_PATH", QByteArray::fromStdString(helper.string()));
    }
    void TearDown() override {
        ShutDown();
        if (hadHelper)
            qputenv("QTWEBENGINE_PROCESS_PATH", previousHelper);
        else
            qunsetenv("QTWEBENGINE_PROCESS_PATH");
        ClearFaultHook();
        SetMessageBoxHook(previousBoxHook);
        ResetShared();
    }

    // Runs InitInstance with the engine's shared state as a fresh process has it.
    BOOL StartUp(const wchar_t* commandLine) {
        ResetShared();
        boxes.clear();
        theApp.m_lpCmdLine = commandLine;
        started = true;
        return theApp.InitInstance();
    }
    // ExitInstance, which also waits for an update thread that was started.
    void ShutDown() {
        if (started) theApp.ExitInstance();
        started = false;
    }
    // The record that a stopped extraction of this launcher leaves.
    void WriteResumeRecord() {
        SetStatus(STATUS_EXTRACT_PATCH, 0);
        SaveResumeData();
        ASSERT_TRUE(std::filesystem::exists(WideToUtf8(temp.ResumePath())));
    }
    static void ResetShared() {
        SetStatus(0, 0);
        g_bStop = FALSE;
        g_evExit.ResetEvent();
        g_hUpdateThread = NULL;
    }

    ModuleTempFolder temp;
    MessageBoxHook previousBoxHook;
    QByteArray previousHelper;
    bool hadHelper = false;
    std::vector<Box> boxes;
    int resumeAnswer = IDNO;
    bool started = false;
};

TEST_F(AppStartUp, OnlyTheExactSwitchHandsOver) {
    // The copy over the launcher fails here, so a hand-over shows as text 2006; it asks nothing
    // about an interrupted update.
    WriteResumeRecord();
    ASSERT_FALSE(StartUp(L"-update"));
    EXPECT_EQ(boxes, (std::vector<Box>{{IDS_ERR_CLIENT_UPDATE, MB_ICONERROR}}));
    EXPECT_EQ(g_hUpdateThread.Get(), nullptr) << "no update may start beside a hand-over";
    ShutDown();

    for (const wchar_t* commandLine : {L"-UPDATE", L"-update "}) {
        StartUp(commandLine);
        ShutDown();
        // A normal start: no hand-over, and the update has run.
        EXPECT_EQ(std::count(boxes.begin(), boxes.end(), Box(IDS_ERR_CLIENT_UPDATE, MB_ICONERROR)),
                  0)
            << WideToUtf8(commandLine);
        EXPECT_NE(g_hUpdateThread.Get(), nullptr) << WideToUtf8(commandLine);
    }
}

TEST_F(AppStartUp, ResumeQuestionAnsweredNoStartsAfresh) {
    for (int answer : {IDYES, IDNO}) {
        WriteResumeRecord();
        resumeAnswer = answer;

        StartUp(L"");
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes.front(), Box(IDS_CONFIRM_RESTORE, MB_YESNO | MB_ICONQUESTION));
        EXPECT_FALSE(std::filesystem::exists(WideToUtf8(temp.ResumePath())))
            << "the record is deleted whatever the answer";
        const DWORD stage = answer == IDYES ? STATUS_EXTRACT_PATCH : 0;
        EXPECT_EQ(g_resume.nStatus, stage);
        ShutDown();
    }
}

TEST_F(AppStartUp, UpdateThatCannotStartEndsStartUpWithoutWindow) {
    BOOL result = TRUE;
    bool refused = false;
    // The application's exit must run on the thread that took its lock.
    std::thread([&] {
        refused = RefuseNewThreadsOnThisThread();
        if (!refused) return;
        result = StartUp(L"");
        ShutDown();
    }).join();
    if (!refused) GTEST_SKIP() << "this system refuses a seccomp filter";

    EXPECT_FALSE(result);
    // Status 12 ends start-up before the browser is looked at (that would show text 100) and so
    // before any window is made.
    EXPECT_EQ(boxes, (std::vector<Box>{{IDS_ERR_CLIENT_UPDATE, MB_ICONERROR}}));
    int status = 0, percent = 0, bar = 0;
    GetStatus(&status, &percent, &bar);
    EXPECT_EQ(status, STATUS_RESTART);
}

TEST_F(AppStartUp, BrowserHelperThatCannotRunEndsWithText100) {
    EXPECT_FALSE(StartUp(L""));
    EXPECT_EQ(boxes, (std::vector<Box>{{IDP_OLE_INIT_FAILED, MB_OK}}));
    EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

}  // namespace
