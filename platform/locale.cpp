#include "platform/locale.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/utf8.h"

namespace {
// -1: no override; else the UserLanguage value.
std::atomic<int> g_languageOverride{-1};
}  // namespace

const wchar_t* _wsetlocale(int category, const wchar_t* locale) {
    thread_local std::wstring name;
    const char* result;
    if (locale) {
        std::string narrow = WideToUtf8(locale);
        result = std::setlocale(category, narrow.c_str());
    } else {
        result = std::setlocale(category, nullptr);
    }
    if (!result) return NULL;
    name = Utf8ToWide(std::string(result));
    return name.c_str();
}

UserLanguage GetUserLanguage() {
    int forced = g_languageOverride.load();
    if (forced >= 0) return static_cast<UserLanguage>(forced);
    const char* value = nullptr;
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        value = std::getenv(variable);
        if (value && *value) break;
    }
    if (!value) return UserLanguage::English;
    // "ru", "ru_RU", "ru_RU.UTF-8", "ru@..." are Russian; "rus" or "run" are not.
    if (std::strncmp(value, "ru", 2) == 0 &&
        (value[2] == '\0' || value[2] == '_' || value[2] == '.' || value[2] == '@'))
        return UserLanguage::Russian;
    return UserLanguage::English;
}

LANGID GetUserDefaultUILanguage() {
    return GetUserLanguage() == UserLanguage::Russian ? MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT)
                                                      : MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT);
}

void OverrideUserLanguage(UserLanguage language) {
    g_languageOverride.store(static_cast<int>(language));
}

void ClearUserLanguageOverride() { g_languageOverride.store(-1); }
