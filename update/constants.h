// The names every path and server address is built from, by plain concatenation: local folders
// end in '/', the server folder and the server base in '/', extensions begin with a dot, and no
// name begins with a separator.
#pragma once

#include "platform/cstring.h"

#ifndef VARNHOLT_UPDATE_HOST
#error "VARNHOLT_UPDATE_HOST (the update server's host, a wide string literal) must be defined"
#endif

inline const CString kNewsPage = L"news.html";
inline const CString kInfoScript = L"info.php?";
inline const CString kPatchDir = L"patch/";
inline const CString kPacksDir = L"packs/";
inline const CString kGameDir = L"game/";
inline const CString kTempDir = L"temp/";
inline const CString kZipExt = L".zip";
inline const CString kPackExt = L".vh";
inline const CString kPatchExt = L".patch";
inline const CString kPatchedExt = L".patched";
inline const CString kTorrentExt = L".torrent";
inline const CString kUpdateSwitch = L"-update";
inline const CString kUpdaterExe = L"VarnholtUpdate.exe";
inline const CString kLauncherExe = L"VarnholtLauncher.exe";
inline const CString kGameExe = L"Varnholt.exe";
inline const CString kResumeData = L"resume.data";
inline const CString kResourcesDir = L"resources";
inline const CString kReplyActual = L"ACTUAL!";
inline const CString kReplyUpdate = L"UPDATE!";
inline const CString kReplyUnsupported = L"UNSUPPORTED!";
inline const CString kReplyCorrupted = L"CORRUPTED!";
inline const CString kServerUrl = L"http://" VARNHOLT_UPDATE_HOST L":8080/";
