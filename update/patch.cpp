// The install steps: decode each delta against its old pack, then move the new packs into place.

#include "platform/platform.h"
#include "update/byte_array.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/packs.h"
#include "update/percent.h"
#include "update/source_file.h"
#include "update/status.h"
#include "update/target_file.h"
#include "update/update_thread.h"
#include "vcdiff/streaming_decoder.h"

namespace {

constexpr DWORD kMoveFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

CString NewPackPath(const CString& strDir, int nPack) {
    return strDir + kTempDir + g_aPackNames[nPack] + kPatchedExt;
}

}  // namespace

void CUpdateThread::ApplyPatches() {
    m_qwInstallDone = 0;
    for (int nPack : m_setUpdate) {
        const CString strPatch = m_strDir + kTempDir + g_aPackNames[nPack] + L"." +
                                 DwordToHex(m_mapPackChecksum[nPack]) + kPatchExt;
        CFileFind finder;
        if (!finder.FindFile(strPatch)) ThrowUpdateError(586, IDS_ERR_CLIENT_FILES);
        finder.Close();
        PatchFile(strPatch, GetPackPath(m_strDir, nPack), NewPackPath(m_strDir, nPack));
    }
}

void CUpdateThread::PatchFile(const wchar_t* pszPatch, const wchar_t* pszSource,
                              const wchar_t* pszTarget) {
    const DWORD nChunk = GetClusterSize(pszPatch);
    // Declared in the reverse order of their release, which is the same on every path.
    CSourceFile source(pszSource, nChunk);
    CFile delta(pszPatch, CFile::modeRead | CFile::shareExclusive);
    CTargetFile target(pszTarget);
    {
        vcdiff::VCDiffStreamingDecoder decoder;
        decoder.SetAllowVcdTarget(false);
        decoder.StartDecoding<CSourceFile>(&source);
        decoder.SetMaximumTargetFileSize(0xFFFFFFFF);

        CXArray<BYTE, const BYTE&> buffer;
        buffer.SetSize(nChunk);
        const char* pData = reinterpret_cast<const char*>(buffer.GetData());
        UINT nRead = delta.Read(buffer.GetData(), nChunk);
        while (nRead > 0) {
            if (!decoder.DecodeChunk<CTargetFile>(pData, nRead, &target)) {
                ThrowUpdateError(833, IDS_ERR_DOWNLOAD);
            }
            m_qwInstallDone += nRead;
            SetStatus(STATUS_INSTALL_PATCH, PercentOf(m_qwInstallDone, m_qwExtractTotal));
            if (g_bStop) AfxThrowUserException();
            nRead = delta.Read(buffer.GetData(), nChunk);
        }
        if (!decoder.FinishDecoding()) ThrowUpdateError(833, IDS_ERR_DOWNLOAD);
    }
    target.Close();
}

void CUpdateThread::InstallPatchedPacks() {
    const CString strPacks = m_strDir + kPacksDir;
    if (!PathIsDirectoryW(strPacks) && !CreateDirectoryW(strPacks, nullptr)) {
        ThrowUpdateError(599, IDS_ERR_CLIENT_FILES);
    }
    for (int nPack : m_setUpdate) {
        if (!MoveFileExW(NewPackPath(m_strDir, nPack), GetPackPath(m_strDir, nPack), kMoveFlags)) {
            ThrowUpdateError(606, IDS_ERR_CLIENT_FILES);
        }
    }
    for (int nPack : m_setReload) {
        if (!MoveFileExW(NewPackPath(m_strDir, nPack), GetPackPath(m_strDir, nPack), kMoveFlags)) {
            ThrowUpdateError(614, IDS_ERR_CLIENT_FILES);
        }
    }
}
