// Process start over posix_spawn. The new process gets an argument vector (no command line to
// quote or split), a working folder, the launcher's environment and nothing of the launcher's
// open descriptors beyond standard input, output and error, so that it can never inherit the
// single-instance lock, open packs or listening sockets.
#pragma once

#include <vector>

#include "platform/cstring.h"
#include "platform/handle.h"
#include "platform/types.h"

#define STILL_ACTIVE 259u

// Starts pszExe with the arguments vecArgs (the process sees pszExe as its argv[0] and vecArgs
// after it) in the folder pszWorkingFolder (NULL: the launcher's own). Returns a handle of the
// process that WaitForSingleObject waits on until the process has ended (WAIT_OBJECT_0) and
// CloseHandle releases, or NULL when the process cannot be started; GetLastError then tells why.
// The process is reaped by the layer: no zombie is left when nobody waits.
HANDLE StartProcessWithArguments(LPCTSTR pszExe, const std::vector<CString>& vecArgs,
                                 LPCTSTR pszWorkingFolder);

// The exit code of the process, STILL_ACTIVE while it runs; a process ended by a signal gives
// 128 + the signal number, as the shell reports it. FALSE when hProcess is no process handle.
BOOL GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode);

// Gives the file the execute permission for everyone who may read it (a downloaded launcher
// arrives without it). FALSE with the last error set when the mode cannot be changed.
BOOL SetFileExecutable(LPCTSTR pszPath);
