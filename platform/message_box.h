// Message boxes. What a box does is decided by a hook: the window installs one that shows a
// real box, tests install their own. Without a hook the text goes to standard error and the
// box answers at once (IDNO for Yes/No questions, IDCANCEL for Retry/Cancel, IDOK otherwise),
// so a program without a window never waits for input.
#pragma once

#include <functional>

#include "platform/cstring.h"
#include "platform/types.h"

#define MB_OK 0x0u
#define MB_OKCANCEL 0x1u
#define MB_ABORTRETRYIGNORE 0x2u
#define MB_YESNOCANCEL 0x3u
#define MB_YESNO 0x4u
#define MB_RETRYCANCEL 0x5u
#define MB_TYPEMASK 0xFu
#define MB_ICONHAND 0x10u
#define MB_ICONERROR 0x10u
#define MB_ICONSTOP 0x10u
#define MB_ICONQUESTION 0x20u
#define MB_ICONEXCLAMATION 0x30u
#define MB_ICONWARNING 0x30u
#define MB_ICONASTERISK 0x40u
#define MB_ICONINFORMATION 0x40u
#define MB_ICONMASK 0xF0u
#define MB_DEFBUTTON1 0x0u
#define MB_DEFBUTTON2 0x100u
#define MB_DEFBUTTON3 0x200u
#define MB_APPLMODAL 0x0u
#define MB_SYSTEMMODAL 0x1000u
#define MB_TASKMODAL 0x2000u
#define MB_TOPMOST 0x40000u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8

// Shows text with the buttons and icon of type; returns the ID* of the answer.
using MessageBoxHook = std::function<int(const CString& text, UINT type)>;

// Installs hook (an empty one restores the default) and returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

int AfxMessageBox(LPCTSTR text, UINT type = MB_OK, UINT helpId = 0);
// The text of string resource promptId (empty when missing).
int AfxMessageBox(UINT promptId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));
