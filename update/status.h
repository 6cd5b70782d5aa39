// The update status shared by the update thread and the window, the first-error record, the
// stop flag, the exit event and the published thread handle.
#pragma once

#include <atomic>

#include "platform/cstring.h"
#include "platform/handle.h"
#include "platform/sync.h"
#include "platform/types.h"

#define STATUS_CHECK_LAUNCHER 1
#define STATUS_UPDATE_LAUNCHER 2
#define STATUS_CHECK_CLIENT 3
#define STATUS_DOWNLOAD_TORRENTS 4
#define STATUS_DOWNLOAD_PATCH 5
#define STATUS_EXTRACT_PATCH 6
#define STATUS_INSTALL_PATCH 7
#define STATUS_EXTRACT_RESOURCES 8
#define STATUS_READY 9
#define STATUS_STOPPED 10
#define STATUS_ERROR 11
#define STATUS_RESTART 12

// Message ids of the failure points, and the box shown when the update cannot run at all.
#define IDS_ERR_CONNECTION 2000
#define IDS_ERR_CLIENT_FILES 2001
#define IDS_ERR_NOT_SUPPORTED 2002
#define IDS_ERR_DOWNLOAD 2004
#define IDS_ERR_CLIENT_UPDATE 2006

class CUpdateThread;

// Status (0 before the first) and percent (-1: none shown), written and read together under
// g_csStatus; during status 3 the checksum progress stores g_nProgress alone.
extern int g_nStatus;
extern std::atomic<int> g_nProgress;
extern CCriticalSection g_csStatus;
// Bytes per second over the last poll of the BitTorrent download.
extern std::atomic<DWORD> g_nSpeed;
// Set by the window when the player confirms a stop; never cleared.
extern std::atomic<BOOL> g_bStop;
// The first failure of this run: its number (-1 while none) and its message text.
extern std::atomic<int> g_nErrorCode;
extern CString g_strError;
// Automatically resetting; set by the application at exit.
extern CEvent g_evExit;
// The update thread's handle, published by the thread as it starts. It holds a reference of its
// own, so waiting on it stays safe after the thread object has closed its copy.
extern CSharedHandle g_hUpdateThread;
extern CUpdateThread* g_pUpdateThread;

// Stores status and percent together. Writing 10 or 11 while a stage 5 to 8 runs saves the
// resume record first.
void SetStatus(int nNewStatus, int nPercent);
// Records (nCode, message nMessageId) unless a failure is recorded already, then throws
// CUserException*.
[[noreturn]] void ThrowUpdateError(int nCode, UINT nMessageId);
// Status and percent, read together, and the progress-bar position 0 to 255.
void GetStatus(int* pStatus, int* pPercent, int* pBar);
// The first failure's message text.
CString GetErrorMessage();
