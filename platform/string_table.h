// The string tables (English and Russian), compiled into the program from res/strings_*.txt.
#pragma once

#include "platform/cstring.h"
#include "platform/locale.h"
#include "platform/types.h"

// The text of id in the user's language, falling back to English when the Russian table lacks
// it; FALSE and an empty text when neither has it.
BOOL LoadStringResource(UINT id, CString& text);
// The text of id in the given language's table only.
BOOL LoadStringResource(UINT id, UserLanguage language, CString& text);
