// The launcher's self-update hand-over and the one way the launcher starts another process.
#pragma once

#include "platform/platform.h"

// Download callback of the launcher update: status 2 with the percent of the announced size.
void OnLauncherDownloadProgress(DWORD dwBytes, BOOL* pbStop);

// In the downloaded copy started with "-update": copies the running executable over the launcher
// file in its folder (through a temporary file and a rename, never writing the file in place)
// and starts it without arguments. Shows text 2006 when either fails.
void ReplaceLauncher();

// Starts pszExe with pszArgs as its one argument (NULL or empty: none) in the executable's own
// folder. Returns a waitable process handle, or NULL when the process cannot be started; shows
// and records nothing.
HANDLE StartProcess(LPCTSTR pszExe, LPCTSTR pszArgs);
