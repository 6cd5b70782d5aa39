#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/module.h"
#include "platform/utf8.h"

TEST(Module, ReportsTheExecutablePathAndItsEmbeddedVersion) {
    char own[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", own, sizeof own - 1), 0);
    wchar_t path[MAX_PATH * 16] = {};
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH * 16);
    EXPECT_EQ(WideToUtf8(path), own);
    EXPECT_EQ(length, Utf8ToWide(std::string(own)).size());
    wchar_t tiny[4];
    EXPECT_EQ(GetModuleFileNameW(NULL, tiny, 4), 4u) << "cut and terminated";
    EXPECT_EQ(tiny[3], 0);

    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(path, &handle);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, handle, size, block.data()));
    LPVOID info = nullptr;
    UINT infoLength = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", &info, &infoLength));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(info);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x0004000Fu);
    EXPECT_EQ(GetFileVersionInfoSizeW(L"/bin/sh", &handle), 0u) << "other files carry none";
}

TEST(UserLanguage, IsRussianOnlyForTheRuLanguage) {
    ClearUserLanguageOverride();
    struct Case {
        const char* lcAll;
        const char* lang;
        UserLanguage expected;
    };
    for (const Case& c :
         {Case{"", "ru_RU.UTF-8", UserLanguage::Russian}, Case{"", "ru", UserLanguage::Russian},
          Case{"en_US.UTF-8", "ru_RU.UTF-8", UserLanguage::English},
          Case{"", "rue_UA", UserLanguage::English}, Case{"", "C", UserLanguage::English},
          Case{"ru_UA.UTF-8", "", UserLanguage::Russian}}) {
        setenv("LC_ALL", c.lcAll, 1);
        unsetenv("LC_MESSAGES");
        setenv("LANG", c.lang, 1);
        EXPECT_EQ(GetUserLanguage(), c.expected) << c.lcAll << " / " << c.lang;
    }
    unsetenv("LC_ALL");
    unsetenv("LANG");
    EXPECT_EQ(GetUserLanguage(), UserLanguage::English);
    EXPECT_EQ(GetUserDefaultUILanguage(), MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT));
}

TEST(MessageBox, AnswersAtOnceWithoutAWindowAndGoesThroughTheHook) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox(L"Stop?", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(AfxMessageBox(L"Failed", MB_ICONERROR), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Stop?\nFailed\n");

    CString seen;
    UINT seenType = 0;
    MessageBoxHook previous = SetMessageBoxHook([&](const CString& text, UINT type) {
        seen = text;
        seenType = type;
        return IDYES;
    });
    EXPECT_FALSE(previous);
    OverrideUserLanguage(UserLanguage::English);
    EXPECT_EQ(AfxMessageBox(2008, MB_YESNO), IDYES);
    EXPECT_EQ(seen,
              L"The update was interrupted during the last launch. Do you want to restore it?");
    EXPECT_EQ(seenType, static_cast<UINT>(MB_YESNO));
    ClearUserLanguageOverride();
    SetMessageBoxHook(nullptr);
}
