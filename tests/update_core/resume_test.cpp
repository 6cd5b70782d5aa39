#include "update/resume.h"

#include <gtest/gtest.h>

#include "module_folder.h"
#include "platform/file.h"
#include "temp_folder.h"
#include "update/file_utils.h"
#include "update/status.h"

namespace {

std::string Le32(DWORD value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
    return bytes;
}

// A record as this test executable (version 2.1.3.4) writes it.
std::string Record(DWORD stage, DWORD ms = 0x00020001, DWORD ls = 0x00030004, DWORD reserved = 0) {
    return Le32(ls) + Le32(ms) + Le32(stage) + Le32(reserved);
}

}  // namespace

TEST(ResumeRecord, IsResumableOnlyForThisVersionAndStagesFiveToEight) {
    ModuleTempFolder temp;
    for (DWORD stage : {5u, 6u, 7u, 8u}) {
        WriteTestFile(temp.ResumePath(), Record(stage));
        EXPECT_TRUE(CanResumeUpdate()) << stage;
        EXPECT_EQ(g_resume.nStatus, stage);
    }
    for (DWORD stage : {0u, 4u, 9u, 0xFFFFFFFFu}) {
        WriteTestFile(temp.ResumePath(), Record(stage));
        EXPECT_FALSE(CanResumeUpdate()) << stage;
        EXPECT_EQ(g_resume.nStatus, 0u);
    }
    // Any one of the four version parts differing makes it another launcher's record.
    for (auto [ms, ls] : {std::pair<DWORD, DWORD>{0x00030001, 0x00030004},
                          {0x00020002, 0x00030004},
                          {0x00020001, 0x00040004},
                          {0x00020001, 0x00030005},
                          {0x00030004, 0x00020001}}) {
        WriteTestFile(temp.ResumePath(), Record(6, ms, ls));
        EXPECT_FALSE(CanResumeUpdate()) << std::hex << ms << " " << ls;
        EXPECT_EQ(g_resume.nStatus, 0u);
    }
}

TEST(ResumeRecord, ShortMissingAndLockedFilesAreNotResumable) {
    ModuleTempFolder temp;
    WriteTestFile(temp.ResumePath(), Record(6).substr(0, 15));
    EXPECT_FALSE(LoadResumeData());
    EXPECT_FALSE(CanResumeUpdate());
    EXPECT_EQ(g_resume.nStatus, 0u);

    WriteTestFile(temp.ResumePath(), Record(6) + "tail");
    EXPECT_TRUE(CanResumeUpdate()) << "only the first 16 bytes count";

    {
        CFile held(temp.ResumePath(), CFile::modeRead | CFile::shareExclusive);
        EXPECT_FALSE(LoadResumeData());
        EXPECT_FALSE(CanResumeUpdate());
    }
    DeleteFolder(GetModuleDir() + L"temp/");
    EXPECT_FALSE(LoadResumeData());
}

TEST(ResumeRecord, SaveWritesVersionStageAndKeepsTheReservedWord) {
    ModuleTempFolder temp;
    SetStatus(STATUS_INSTALL_PATCH, 12);
    SaveResumeData();
    EXPECT_EQ(ReadTestFile(temp.ResumePath()), Record(7));

    // A reserved word brought by a loaded record is written back unchanged.
    WriteTestFile(temp.ResumePath(), Record(5, 0x00020001, 0x00030004, 0xCAFEF00D));
    ASSERT_TRUE(CanResumeUpdate());
    SetStatus(STATUS_DOWNLOAD_PATCH, 3);
    SetStatus(STATUS_STOPPED, -1);
    EXPECT_EQ(ReadTestFile(temp.ResumePath()), Record(5, 0x00020001, 0x00030004, 0xCAFEF00D));

    // Saving over a record that another program holds fails silently and keeps the old one.
    CFile held(temp.ResumePath(), CFile::modeRead | CFile::shareExclusive);
    SetStatus(STATUS_EXTRACT_PATCH, 1);
    SaveResumeData();
    held.Close();
    EXPECT_EQ(ReadTestFile(temp.ResumePath()), Record(5, 0x00020001, 0x00030004, 0xCAFEF00D));
}
