// The download step: the .torrent files over HTTP, then the payload over BitTorrent.

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/packs.h"
#include "update/status.h"
#include "update/torrent_session.h"
#include "update/update_thread.h"

namespace {

constexpr DWORD kPollPeriodMs = 1000;

std::string ToUtf8(LPCTSTR pszText) {
    CStringA strText = WideToMultiByte(pszText);
    return std::string(static_cast<const char*>(strText), strText.GetLength());
}

// Bytes per second over the last poll. Done may shrink between polls (the library throws away a
// piece that fails its hash check); that is no speed, so it is shown as 0 rather than wrapping.
DWORD SpeedOf(int64_t done, int64_t prev, int64_t elapsed) {
    const int64_t speed = (done - prev) / elapsed;
    return speed < 0 ? 0 : static_cast<DWORD>(speed);
}

int DownloadPercent(int64_t done, int64_t total) {
    if (total == 0) return 0;
    return static_cast<int>(static_cast<uint32_t>(done * 100 / total));
}

// Polls once a second until every torrent has finished; the stop is looked at after each sleep.
// A torrent the library has stopped on an error ends the wait with that error (IsFinished).
void WaitForTorrents(const CTorrentSession& session, const std::map<int, int>& mapHandles,
                     int64_t total) {
    int64_t prev = 0;
    int64_t t0 = std::time(nullptr);
    for (;;) {
        bool bFinished = true;
        int64_t done = 0;
        for (const auto& [nPack, nTorrent] : mapHandles) {
            if (!session.IsFinished(nTorrent)) bFinished = false;
            done += session.GetFileProgress(nTorrent);
        }
        const int64_t elapsed = std::time(nullptr) - t0;
        if (elapsed > 0) g_nSpeed = SpeedOf(done, prev, elapsed);
        prev = done;
        t0 = std::time(nullptr);
        SetStatus(STATUS_DOWNLOAD_PATCH, DownloadPercent(done, total));
        Sleep(kPollPeriodMs);
        if (g_bStop) AfxThrowUserException();
        if (bFinished) return;
    }
}

}  // namespace

void CUpdateThread::DownloadPatches() {
    SetStatus(STATUS_DOWNLOAD_TORRENTS, -1);

    // Pack index and local .torrent file, in the order the torrents are added.
    std::vector<std::pair<int, CString>> torrents;
    for (int nPack : m_setUpdate) {
        const CString strName = CString(g_aPackNames[nPack]) + L"." +
                                DwordToHex(m_mapPackChecksum[nPack]) + kTorrentExt;
        torrents.emplace_back(nPack, m_strDir + kTempDir + strName);
        DownloadFile(torrents.back().second, kServerUrl + kPatchDir + strName, nullptr);
    }
    for (int nPack : m_setReload) {
        const CString strName = CString(g_aPackNames[nPack]) + kTorrentExt;
        torrents.emplace_back(nPack, m_strDir + kTempDir + strName);
        DownloadFile(torrents.back().second, kServerUrl + kPatchDir + strName, nullptr);
    }

    try {
        // The old session keeps seeding until the new one stands.
        CTorrentSession* pSession = new CTorrentSession(GetModuleVersion());
        delete m_pSession;
        m_pSession = pSession;

        std::map<int, int> mapHandles;
        int64_t total = 0;
        const CString strSavePath = m_strDir + kTempDir;
        for (const auto& [nPack, strTorrent] : torrents) {
            const int nTorrent = AddTorrent(strTorrent, strSavePath);
            total += m_pSession->GetTotalSize(nTorrent);
            mapHandles[nPack] = nTorrent;
        }
        WaitForTorrents(*m_pSession, mapHandles, total);
    } catch (const CTorrentError& e) {
        // The library's failures carry no failure number: they end the update like any other
        // error of the framework's family, with the reason on the diagnostic stream.
        std::fprintf(stderr, "ERROR: %s\n", e.what());
        std::fflush(stderr);
        AfxThrowUserException();
    }
}

int CUpdateThread::AddTorrent(LPCTSTR pszTorrentPath, LPCTSTR pszSavePath) {
    return m_pSession->AddTorrent(ToUtf8(pszTorrentPath), ToUtf8(pszSavePath));
}
