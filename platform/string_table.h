// The string tables (English and Russian), compiled into the program from res/strings_*.txt.
#pragma once

#include "platform/cstring.h"
#include "platform/locale.h"
#include "platform/types.h"

// The framework's id of the application title.
#ifndef AFX_IDS_APP_TITLE
#define AFX_IDS_APP_TITLE 57344
#endif

// The text of id in the user's language, falling back to English when the Russian table lacks
// it; FALSE and an empty text when neither has it.
BOOL LoadStringResource(UINT id, CString& text);
// The text of id in the given language's table only.
BOOL LoadStringResource(UINT id, UserLanguage language, CString& text);
// The text of id in the user's language (empty when missing).
CString LoadResourceString(UINT id);
