#include "platform/cstring.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/locale.h"
#include "platform/string_table.h"

namespace {

CString Fmt(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    return text;
}

}  // namespace

TEST(CStringFormat, FollowsTheFrameworkRulesForStringsAndLengths) {
    // %s is wide in a wide string, %S and %hs are 8-bit; "l" is 32 bits as on Windows.
    EXPECT_EQ(Fmt(L"%s|%S|%hs|%ls", L"wide", "narrow", "h", L"l"), L"wide|narrow|h|l");
    EXPECT_EQ(Fmt(L"%i %d %u %lu", -5, 7, 4294967295u, 42u), L"-5 7 4294967295 42");
    EXPECT_EQ(Fmt(L"%X %x %08X %08X", 0xABCu, 0xABCu, 255u, 0xFFFFFFFFu),
              L"ABC abc 000000FF FFFFFFFF");
    EXPECT_EQ(Fmt(L"%I64u %I64d %llu", 18446744073709551615ull, -9000000000ll, 1ull << 40),
              L"18446744073709551615 -9000000000 1099511627776");
    EXPECT_EQ(Fmt(L"%i%% (%u kB/s)", 42, 1048575u >> 10), L"42% (1023 kB/s)");
    EXPECT_EQ(Fmt(L"[%5s][%-5s][%.2s][%c]", L"ab", L"ab", L"abcdef", L'Ж'),
              L"[   ab][ab   ][ab][Ж]");
    EXPECT_EQ(Fmt(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
    EXPECT_EQ(Fmt(L"\"%s\" %s", L"/a b/VarnholtUpdate.exe", L"-update"),
              L"\"/a b/VarnholtUpdate.exe\" -update");
    // A format that ends inside a conversion neither reads past its end nor crashes.
    EXPECT_EQ(Fmt(L"50%"), L"50");

    CStringA narrow;
    narrow.Format("%s-%S-%d", "a", L"ю", 3);
    EXPECT_STREQ(narrow, "a-\xD1\x8E-3");

    CString appended(L"x=");
    appended.AppendFormat(L"%d", 1);
    appended.AppendFormat(L",%d", 2);
    EXPECT_EQ(appended, L"x=1,2");
}

TEST(CStringBasics, CutsSearchesAndComparesWithinBounds) {
    CString s(L"C:/a/b.exe");
    EXPECT_EQ(s.Left(4), L"C:/a");
    EXPECT_EQ(s.Left(99), s);
    EXPECT_EQ(s.Left(-1), L"");
    EXPECT_EQ(s.Right(3), L"exe");
    EXPECT_EQ(s.Right(99), s);
    EXPECT_EQ(s.Mid(5), L"b.exe");
    EXPECT_EQ(s.Mid(5, 1), L"b");
    EXPECT_EQ(s.Mid(50), L"");
    EXPECT_EQ(s.Mid(3, 100), L"a/b.exe");
    EXPECT_EQ(s.Find(L'/'), 2);
    EXPECT_EQ(s.Find(L'/', 3), 4);
    EXPECT_EQ(s.Find(L"b.e"), 5);
    EXPECT_EQ(s.Find(L"zz"), -1);
    EXPECT_EQ(s.Find(L"a", 100), -1);
    EXPECT_EQ(s.ReverseFind(L'/'), 4);
    EXPECT_EQ(s.ReverseFind(L'\\'), -1);

    EXPECT_EQ(CString(L"Packs").CompareNoCase(L"pACKS"), 0);
    EXPECT_LT(CString(L"abc").CompareNoCase(L"ABD"), 0);
    EXPECT_GT(CString(L"abcd").CompareNoCase(L"ABC"), 0);
    EXPECT_EQ(CString(L"scripts.vh").MakeUpper(), L"SCRIPTS.VH");
    EXPECT_EQ(CString(L"ABC").MakeLower(), L"abc");

    CString joined = CString(L"temp/") + L"resume" + L'.' + CString(L"data");
    EXPECT_EQ(joined, L"temp/resume.data");
    EXPECT_TRUE(joined != L"temp/");
    CString empty;
    EXPECT_TRUE(empty.IsEmpty());
    // Out of range is the framework's exception, never undefined behaviour.
    for (int index : {-1, 0}) {
        try {
            (void)empty[index];
            ADD_FAILURE() << index;
        } catch (CInvalidArgException* e) {
            e->Delete();
        }
    }
    EXPECT_STREQ(static_cast<LPCTSTR>(empty), L"");
}

TEST(CStringBasics, BufferWritesSetTheLength) {
    CString s;
    wchar_t* buffer = s.GetBuffer(260);
    wcscpy(buffer, L"/opt/varnholt/VarnholtLauncher.exe");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 34);
    buffer = s.GetBuffer(10);
    buffer[3] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, L"/op");
    s.GetBuffer(10);
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, L"/o");
}

TEST(CStringConversion, UsesUtf8AndKeepsInvalidBytes) {
    EXPECT_EQ(CString("packs/сис.vh"), L"packs/сис.vh");
    EXPECT_STREQ(CStringA(L"packs/сис.vh"), "packs/\xD1\x81\xD0\xB8\xD1\x81.vh");
    // Bytes of another code page stay distinct and come back as they were.
    const char* const mixed =
        "a\xFF"
        "b\xC3\xE4\xC3\xA4\xF0\x9F\x98";
    const CString wideMixed(mixed);
    EXPECT_EQ(wideMixed,
              L"a\xDCFF"
              L"b\xDCC3\xDCE4\xE4\xDCF0\xDC9F\xDC98");
    EXPECT_STREQ(CStringA(wideMixed), mixed);
    EXPECT_EQ(CString("\xF0\x9F\x98\x80"), L"\x1F600");
    // Only U+DC80 to U+DCFF stand for bytes: no other surrogate may become an ASCII "/" or ".".
    EXPECT_STREQ(CStringA(L"\xDC2F\xDC2E\xD800\x110000"),
                 "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");

    // Length -1 converts the terminator too, as the zip reader relies on.
    wchar_t wide[8];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "x\xE9y", -1, wide, 8), 4);
    EXPECT_STREQ(wide, L"x\xDCE9y");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, wide, 3), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, nullptr, 0), 7);
}

TEST(StringTable, PicksTheUserLanguageAndLeavesMissingIdsEmpty) {
    OverrideUserLanguage(UserLanguage::English);
    CString text;
    EXPECT_TRUE(text.LoadString(2108));
    EXPECT_EQ(text, L"Everything is ready to enter the zone!");
    EXPECT_TRUE(text.LoadString(2000));
    EXPECT_EQ(text.Find(L'\n'), 63) << "two lines joined by a line feed";
    EXPECT_EQ(LoadResourceString(AFX_IDS_APP_TITLE), L"Varnholt Launcher");
    EXPECT_EQ(
        LoadResourceString(100),
        L"OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
    text = L"stale";
    EXPECT_FALSE(text.LoadString(2003));
    EXPECT_TRUE(text.IsEmpty());

    OverrideUserLanguage(UserLanguage::Russian);
    EXPECT_EQ(LoadResourceString(2108), L"Всё готово для входа в зону!");
    EXPECT_EQ(LoadResourceString(AFX_IDS_APP_TITLE), L"Varnholt Launcher")
        << "language-neutral strings come from the English table";
    CString tmpl = LoadResourceString(128);
    EXPECT_EQ(tmpl,
              L"Varnholt\n\nVarnholt L\n\n\nVarnholtLauncher.Document\nVarnholt Launcher.Document");
    for (UINT id : {2000u, 2001u, 2002u, 2004u, 2006u, 2007u, 2008u, 2100u, 2101u, 2102u, 2103u,
                    2104u, 2105u, 2106u, 2107u, 2108u, 2109u}) {
        CString ru, en;
        EXPECT_TRUE(LoadStringResource(id, UserLanguage::Russian, ru)) << id;
        EXPECT_TRUE(LoadStringResource(id, UserLanguage::English, en)) << id;
        EXPECT_NE(ru, en) << id;
    }
    ClearUserLanguageOverride();
}
