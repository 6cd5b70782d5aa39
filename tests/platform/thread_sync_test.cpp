#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "platform/sync.h"
#include "platform/thread.h"

TEST(CEvent, AutoResetReleasesOneWaitAndManualResetStaysSet) {
    CEvent automatic;
    EXPECT_FALSE(automatic.Lock(0));
    automatic.SetEvent();
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 20), WAIT_TIMEOUT) << "the first wait consumed it";

    CEvent manual(FALSE, TRUE);
    manual.SetEvent();
    EXPECT_TRUE(manual.Lock(0));
    EXPECT_TRUE(manual.Lock(0));
    manual.ResetEvent();
    EXPECT_FALSE(manual.Lock(0));

    // A set from another thread wakes a waiter without a time limit.
    std::thread setter([&] {
        Sleep(30);
        automatic.SetEvent();
    });
    EXPECT_TRUE(automatic.Lock(INFINITE));
    setter.join();
}

TEST(CCriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CCriticalSection cs;
    CSingleLock outer(&cs, TRUE);
    CSingleLock inner(&cs, TRUE);
    EXPECT_TRUE(inner.IsLocked());
    std::atomic<bool> gotIt{true};
    std::thread([&] { gotIt = cs.Lock(20); }).join();
    EXPECT_FALSE(gotIt);
    inner.Unlock();
    outer.Unlock();
    std::thread([&] {
        gotIt = cs.Lock(20);
        if (gotIt) cs.Unlock();
    }).join();
    EXPECT_TRUE(gotIt);
}

namespace {

std::atomic<int> g_destroyed{0};
std::atomic<int> g_ran{0};

class CSlowThread : public CWinThread {
    DECLARE_DYNCREATE(CSlowThread)
public:
    ~CSlowThread() override {
        // Destruction that takes a while, as the engine's shutting down of its session does.
        Sleep(100);
        g_destroyed = 1;
    }
    BOOL InitInstance() override {
        g_ran = 1;
        return TRUE;
    }
    int Run() override { return ExitInstance(); }
};

IMPLEMENT_DYNCREATE(CSlowThread, CWinThread)

}  // namespace

TEST(CWinThread, HandleIsSignalledOnlyAfterTheObjectDeletedItself) {
    g_destroyed = 0;
    g_ran = 0;
    CWinThread* thread =
        AfxBeginThread(RUNTIME_CLASS(CSlowThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    // The application's copy outlives the object, which closes its own handle when it is deleted.
    CSharedHandle published(thread->m_hThread);
    Sleep(20);
    EXPECT_EQ(g_ran, 0) << "suspended";
    thread->ResumeThread();
    EXPECT_EQ(WaitForSingleObject(published, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(g_ran, 1);
    EXPECT_EQ(g_destroyed, 1);
    EXPECT_EQ(WaitForSingleObject(published, 0), WAIT_OBJECT_0) << "stays signalled";
}

TEST(CWinThread, FunctionThreadsRunAndTimeOutWaits) {
    std::atomic<int> value{0};
    CEvent go;
    struct Args {
        std::atomic<int>* value;
        CEvent* go;
    } args{&value, &go};
    CWinThread* thread = AfxBeginThread(
        [](LPVOID p) -> UINT {
            auto* a = static_cast<Args*>(p);
            a->go->Lock();
            *a->value = 7;
            return 0;
        },
        &args);
    ASSERT_NE(thread, nullptr);
    HANDLE handle = DuplicateHandleReference(thread->m_hThread);
    EXPECT_EQ(WaitForSingleObject(handle, 30), WAIT_TIMEOUT);
    go.SetEvent();
    EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(value, 7);
    EXPECT_TRUE(CloseHandle(handle));
    EXPECT_EQ(WaitForSingleObject(NULL, 0), WAIT_FAILED);
}

TEST(CMutex, NamedMutexExcludesAnotherProcessUntilItEnds) {
    std::wstring name = L"VarnholtTestMutex-" + std::to_wstring(getpid());
    CMutex mine(FALSE, name.c_str());
    ASSERT_TRUE(mine.Lock(0));

    int fromChild[2];
    ASSERT_EQ(pipe(fromChild), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CMutex theirs(FALSE, name.c_str());
        char got = theirs.Lock(100) ? 'y' : 'n';
        (void)!write(fromChild[1], &got, 1);
        // Waits until the parent releases it, then holds it when it dies.
        got = theirs.Lock(5000) ? 'y' : 'n';
        (void)!write(fromChild[1], &got, 1);
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(fromChild[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'n') << "held by this process";
    mine.Unlock();
    ASSERT_EQ(read(fromChild[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    waitpid(child, nullptr, 0);
    EXPECT_TRUE(mine.Lock(1000)) << "released when its holder ended";
    mine.Unlock();
    close(fromChild[0]);
    close(fromChild[1]);
}
