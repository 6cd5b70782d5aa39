// Resource and control ids of the launcher window.
#pragma once

#include "platform/message_box.h"  // IDOK and IDCLOSE, the play and close buttons

#define IDR_MAINFRAME 128
#define IDB_BACKGROUND 130
#define IDB_PLAY 131
#define IDB_CLOSE 132
#define IDB_MINIMIZE 133
#define IDB_PROGRESS 134
#define IDR_HTML_SEARCHING 135
#define IDR_HTML_NOT_RESPONDING 136

#define AFX_IDW_PANE_FIRST 0xE900
#define IDC_MINIMIZE 0xE901
#define IDC_PROGRESS 0xE902

#define IDP_OLE_INIT_FAILED 100
#define IDS_CONFIRM_STOP 2007
#define IDS_CONFIRM_RESTORE 2008
#define IDS_STATUS_ERROR 2109
