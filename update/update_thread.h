// The update engine: one thread object that checks the launcher's version, hands over to a
// downloaded launcher or brings the game's packs up to date in passes, and finally unpacks the
// resources pack. It talks to the window only through the shared state of update/status.h.
//
// The steps of the update loop are members of this one class, but each stage lives in a source
// file of its own: update_thread.cpp (body, loop, scratch folder), protocol.cpp, packs.cpp,
// torrent.cpp, extract.cpp, patch.cpp and selfupdate.cpp.
#pragma once

#include <set>

#include "platform/http_client.h"
#include "platform/platform.h"

// The one wrapper of the BitTorrent library (update/torrent_session.h); only its own source
// includes the library.
class CTorrentSession;

class CUpdateThread : public CWinThread {
    DECLARE_DYNCREATE(CUpdateThread)

public:
    CUpdateThread();
    ~CUpdateThread() override;

    BOOL InitInstance() override;
    int Run() override;
    int ExitInstance() override;

    // Text request to the update server: the reply of one GET, read as UTF-16LE. Throws (871).
    CString RequestString(LPCTSTR pszUrl);
    // Nonzero when the server reports the launcher current (status 1 while asking).
    int CheckLauncherVersion();
    // 0 "ACTUAL!", 1 "UPDATE!", 2 "CORRUPTED!"; anything else throws (404, 408, 871).
    int QueryPackStatus(int nPack);

    void DownloadLauncherUpdate();
    void StartLauncherUpdate();

    void ScanPacks();
    void ChecksumPack(int nPack);
    // TRUE when no pack needs patching or fetching.
    BOOL QueryPacks();

    void DownloadPatches();
    // Adds one torrent to m_pSession; returns the wrapper's handle of the new torrent.
    int AddTorrent(LPCTSTR pszTorrentPath, LPCTSTR pszSavePath);

    void ExtractPatches();
    void ExtractResources();

    void ApplyPatches();
    void InstallPatchedPacks();

    void ResetTempFolder();
    void RemoveTempFolder();
    void UpdateLoop();

protected:
    // Decodes the delta file pszPatch against pszSource into pszTarget (status 7 per chunk).
    void PatchFile(const wchar_t* pszPatch, const wchar_t* pszSource, const wchar_t* pszTarget);

public:
    // The members below are reached by the free progress callbacks through g_pUpdateThread.
    CInternetSession m_session;
    ULONGLONG m_qwLauncherSize = 0;
    ULONGLONG m_qwLauncherDone = 0;
    ULONGLONG m_qwScanDone = 0;
    ULONGLONG m_qwScanTotal = 0;
    ULONGLONG m_qwExtractTotal = 0;
    ULONGLONG m_qwExtractDone = 0;
    ULONGLONG m_qwInstallDone = 0;
    ULONGLONG m_qwResourcesTotal = 0;
    ULONGLONG m_qwResourcesDone = 0;
    CMap<int, int, DWORD, DWORD> m_mapPackChecksum;  // pack index to sampled checksum
    std::set<int> m_setUpdate;
    std::set<int> m_setReload;
    CString m_strDir;
    CTorrentSession* m_pSession = nullptr;
};

// Starts the update thread (user-interface thread, once). On failure shows text 2006 and leaves
// status 12.
void BeginUpdate();

// Progress of a download or a checksum: the bytes just done, and a flag to set to stop the work.
typedef void (*PROGRESS_CALLBACK)(DWORD dwBytes, BOOL* pbStop);

// Downloads pszUrl into pszLocalPath through the engine's internet session. Throws (922) on any
// failure; a stop through pfnProgress is no failure and leaves a partial file.
void DownloadFile(LPCTSTR pszLocalPath, LPCTSTR pszUrl, PROGRESS_CALLBACK pfnProgress);
