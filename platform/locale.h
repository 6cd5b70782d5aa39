// Locale set-up and the user's language, which picks the string table.
#pragma once

#include <clocale>

#include "platform/types.h"

typedef WORD LANGID;
#define LANG_ENGLISH 0x09
#define LANG_RUSSIAN 0x19
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) \
    (static_cast<WORD>((static_cast<WORD>(sub) << 10) | static_cast<WORD>(primary)))
#define PRIMARYLANGID(lgid) (static_cast<WORD>(lgid) & 0x3ff)

// Sets the C runtime's locale; L"" is the user's default. Returns the locale's name, or NULL
// when it cannot be set. The text stays valid until the next call on this thread.
const wchar_t* _wsetlocale(int category, const wchar_t* locale);

enum class UserLanguage { English, Russian };

// Russian when the language of the user's locale (LC_ALL, else LC_MESSAGES, else LANG) is
// "ru", else English.
UserLanguage GetUserLanguage();
// MAKELANGID of GetUserLanguage.
LANGID GetUserDefaultUILanguage();
// Makes GetUserLanguage answer language until cleared (tests and demos).
void OverrideUserLanguage(UserLanguage language);
void ClearUserLanguageOverride();
