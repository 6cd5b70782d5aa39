#include "platform/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/last_error.h"

namespace fs = std::filesystem;

namespace {

class ProcessStart : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("varnholt-process-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_folder);
        fs::create_directories(m_folder / "work dir");
        m_output = m_folder / "probe-output.txt";
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // Starts the probe; it reports into m_output, sleeps sleepMs and exits with exitCode.
    HANDLE StartProbe(const fs::path& exe, int exitCode, int sleepMs,
                      std::vector<CString> extra = {}, const fs::path& workingFolder = {}) {
        std::vector<CString> args = {CString(m_output.c_str()),
                                     CString(std::to_string(exitCode).c_str()),
                                     CString(std::to_string(sleepMs).c_str())};
        args.insert(args.end(), extra.begin(), extra.end());
        const CString folder(workingFolder.c_str());
        return StartProcessWithArguments(CString(exe.c_str()), args,
                                         workingFolder.empty() ? nullptr : folder.GetString());
    }

    std::vector<std::string> ReportLines(const std::string& prefix) const {
        std::ifstream in(m_output);
        std::vector<std::string> values;
        for (std::string line; std::getline(in, line);)
            if (line.starts_with(prefix)) values.push_back(line.substr(prefix.size()));
        return values;
    }

    DWORD WaitForExitCode(HANDLE process) {
        EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(process, &code));
        return code;
    }

    fs::path m_folder;
    fs::path m_output;
    const fs::path m_probe = VARNHOLT_PROCESS_PROBE;
};

TEST_F(ProcessStart, PassesArgumentsUnchangedInTheGivenFolderAndReportsTheExitCode) {
    const std::vector<CString> extra = {CString(L"-update"), CString(L"two words"),
                                        CString(L"\"quoted\" \\ back"), CString(L""),
                                        CString(L"Привет")};
    HANDLE process = StartProbe(m_probe, 42, 0, extra, m_folder / "work dir");
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForExitCode(process), 42u);
    EXPECT_TRUE(CloseHandle(process));

    EXPECT_EQ(ReportLines("cwd="), std::vector<std::string>{(m_folder / "work dir").string()});
    const std::vector<std::string> expected = {"-update", "two words", "\"quoted\" \\ back", "",
                                               "Привет"};
    EXPECT_EQ(ReportLines("arg="), expected);
}

TEST_F(ProcessStart, HandleIsWaitableWhileRunningAndAfterAnotherReferenceIsClosed) {
    HANDLE process = StartProbe(m_probe, 3, 400);
    ASSERT_NE(process, nullptr);
    HANDLE second = DuplicateHandleReference(process);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(process, 50), WAIT_TIMEOUT);
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(CloseHandle(process));

    EXPECT_EQ(WaitForExitCode(second), 3u);
    // An ended process stays signalled for every later wait.
    EXPECT_EQ(WaitForSingleObject(second, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(second));
}

TEST_F(ProcessStart, InheritsNoDescriptorBeyondTheStandardStreams) {
    // Descriptors opened without close-on-exec, as a library might.
    const int file = open((m_folder / "held").c_str(), O_CREAT | O_WRONLY, 0644);
    int pipeEnds[2];
    ASSERT_GE(file, 0);
    ASSERT_EQ(pipe(pipeEnds), 0);

    HANDLE process = StartProbe(m_probe, 0, 0);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForExitCode(process), 0u);
    CloseHandle(process);
    close(file);
    close(pipeEnds[0]);
    close(pipeEnds[1]);

    EXPECT_EQ(ReportLines("fd="), (std::vector<std::string>{"0", "1", "2"}));
}

TEST_F(ProcessStart, FailsWithoutStartingWhenTheFileIsMissingOrNotExecutable) {
    EXPECT_EQ(StartProbe(m_folder / "missing", 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    const fs::path copy = m_folder / "downloaded launcher";
    fs::copy_file(m_probe, copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(StartProbe(copy, 0, 0), nullptr);
    EXPECT_FALSE(fs::exists(m_output));

    ASSERT_TRUE(SetFileExecutable(CString(copy.c_str())));
    const fs::perms perms = fs::status(copy).permissions();
    EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
    EXPECT_NE(perms & fs::perms::group_exec, fs::perms::none);
    EXPECT_EQ(perms & fs::perms::others_exec, fs::perms::none);  // not readable by others
    HANDLE process = StartProbe(copy, 5, 0);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(WaitForExitCode(process), 5u);
    CloseHandle(process);

    EXPECT_FALSE(SetFileExecutable(CString((m_folder / "missing").c_str())));
}

TEST_F(ProcessStart, MissingWorkingFolderFailsTheStart) {
    EXPECT_EQ(StartProbe(m_probe, 0, 0, {}, m_folder / "no such folder"), nullptr);
    EXPECT_FALSE(fs::exists(m_output));
}

}  // namespace
