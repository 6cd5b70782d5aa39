#include "platform/string_table.h"

#include <cstdlib>
#include <map>
#include <string>

#include "platform/utf8.h"

// Generated at build time from res/strings_en.txt and res/strings_ru.txt.
extern const char g_stringTableEnglish[];
extern const char g_stringTableRussian[];

namespace {

using Table = std::map<UINT, std::wstring>;

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char next = text[++i];
        out += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    }
    return out;
}

// Lines "<id> <text>"; '#' starts a comment line; the text keeps C-style escapes \n \t \\.
Table Parse(const char* data) {
    Table table;
    std::string all(data);
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        char* rest = nullptr;
        unsigned long id = std::strtoul(line.c_str(), &rest, 10);
        if (rest == line.c_str()) continue;
        while (*rest == ' ' || *rest == '\t') ++rest;
        table[static_cast<UINT>(id)] = Utf8ToWide(Unescape(rest));
    }
    return table;
}

const Table& TableOf(UserLanguage language) {
    static const Table english = Parse(g_stringTableEnglish);
    static const Table russian = Parse(g_stringTableRussian);
    return language == UserLanguage::Russian ? russian : english;
}

}  // namespace

BOOL LoadStringResource(UINT id, UserLanguage language, CString& text) {
    const Table& table = TableOf(language);
    auto found = table.find(id);
    if (found == table.end()) {
        text.Empty();
        return FALSE;
    }
    text = found->second.c_str();
    return TRUE;
}

BOOL LoadStringResource(UINT id, CString& text) {
    UserLanguage language = GetUserLanguage();
    if (LoadStringResource(id, language, text)) return TRUE;
    return language != UserLanguage::English && LoadStringResource(id, UserLanguage::English, text);
}

CString LoadResourceString(UINT id) {
    CString text;
    LoadStringResource(id, text);
    return text;
}

namespace platform_detail {
BOOL LoadStringResource(UINT id, std::wstring& text) {
    CString found;
    BOOL ok = ::LoadStringResource(id, found);
    text = found.Str();
    return ok;
}
}  // namespace platform_detail
