// The framework's internet session over libcurl: plain HTTP GET requests whose bodies are read
// in chunks from the live transfer. Failures of the connection (host unreachable, refused,
// timeouts, a broken transfer) throw CInternetException by pointer, as the framework does:
//
//   CHttpFile* pFile = (CHttpFile*)session.OpenURL(url, 1, INTERNET_FLAG_RELOAD | ...);
//   while ((n = pFile->Read(buffer, sizeof buffer)) > 0) ...
//   pFile->QueryInfoStatusCode(dwStatus);
//   pFile->Close();
//   delete pFile;
//
// A stalled server is a failure, not a hang: the connect and the no-progress timeouts are 60
// seconds each; the environment variable VARNHOLT_HTTP_TIMEOUT_SECONDS (read when a session is
// made) sets both, so fault tests need not wait a minute.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/cstring.h"
#include "platform/exceptions.h"
#include "platform/types.h"

typedef ULONG_PTR DWORD_PTR;

// Access types of a session.
#define INTERNET_OPEN_TYPE_PRECONFIG 0u  // the proxy configured for the user (environment)
#define INTERNET_OPEN_TYPE_DIRECT 1u     // no proxy
#define INTERNET_OPEN_TYPE_PROXY 3u      // the session's own proxy name

// Request flags of OpenURL.
#define INTERNET_FLAG_TRANSFER_ASCII 0x00000001u
#define INTERNET_FLAG_TRANSFER_BINARY 0x00000002u
#define INTERNET_FLAG_DONT_CACHE 0x04000000u
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u
#define INTERNET_FLAG_RELOAD 0x80000000u
#define INTERNET_FLAG_NO_AUTO_REDIRECT 0x00200000u

#define HTTP_STATUS_OK 200u

// Error numbers of CInternetException::m_dwError (the platform's numbering of the same causes).
#define ERROR_INTERNET_TIMEOUT 12002u
#define ERROR_INTERNET_INTERNAL_ERROR 12004u
#define ERROR_INTERNET_INVALID_URL 12005u
#define ERROR_INTERNET_UNRECOGNIZED_SCHEME 12006u
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007u
#define ERROR_INTERNET_CANNOT_CONNECT 12029u
#define ERROR_INTERNET_CONNECTION_ABORTED 12030u
#define ERROR_INTERNET_CONNECTION_RESET 12031u
#define ERROR_HTTP_INVALID_SERVER_RESPONSE 12152u

class CInternetException : public CException {
public:
    CInternetException(DWORD dwError, DWORD_PTR dwContext, const CString& strMessage);

    // Names the URL and the reason: "cannot read http://...: Timeout was reached (...)".
    CString GetErrorMessage() const override { return m_strMessage; }
    using CException::GetErrorMessage;

    DWORD m_dwError;
    DWORD_PTR m_dwContext;

private:
    CString m_strMessage;
};

class CHttpTransfer;

// The body of one reply, read from the live transfer: at most a bounded amount of it is held in
// memory at any time, however large the body.
class CHttpFile {
public:
    ~CHttpFile();
    CHttpFile(const CHttpFile&) = delete;
    CHttpFile& operator=(const CHttpFile&) = delete;

    // Reads up to nCount bytes, waiting until that many have arrived or the body has ended;
    // returns the number read, 0 at the end of the body. Throws CInternetException when the
    // transfer fails or stalls.
    UINT Read(void* lpBuf, UINT nCount);
    // The HTTP status of the reply (known from the reply's header on, which OpenURL has read).
    BOOL QueryInfoStatusCode(DWORD& dwStatusCode) const;
    // Ends the transfer; the rest of the body is not read. Safe to call twice.
    void Close();
    CString GetFileURL() const;

private:
    friend class CInternetSession;
    CHttpFile(std::unique_ptr<CHttpTransfer> transfer, DWORD_PTR dwContext);

    std::unique_ptr<CHttpTransfer> m_transfer;
    DWORD_PTR m_dwContext;
};

class CInternetSession {
public:
    // pstrAgent is the user agent of every request (the framework's default: the application's
    // title, which the caller passes). pstrProxyName is used with INTERNET_OPEN_TYPE_PROXY only.
    explicit CInternetSession(LPCTSTR pstrAgent = nullptr, DWORD_PTR dwContext = 1,
                              DWORD dwAccessType = INTERNET_OPEN_TYPE_PRECONFIG,
                              LPCTSTR pstrProxyName = nullptr, LPCTSTR pstrProxyBypass = nullptr,
                              DWORD dwFlags = 0);
    virtual ~CInternetSession();
    CInternetSession(const CInternetSession&) = delete;
    CInternetSession& operator=(const CInternetSession&) = delete;

    // Sends a GET for an http:// URL and waits until the reply has begun (its header, or the
    // end of an empty body). pstrHeaders holds extra header lines separated by "\r\n"; with
    // dwHeadersLength (DWORD)-1 (or 0) it is read up to its terminating zero.
    // INTERNET_FLAG_RELOAD asks every cache on the way for a fresh copy; nothing is ever kept in
    // a local cache. The caller deletes the returned file. Throws CInternetException.
    CHttpFile* OpenURL(LPCTSTR pstrURL, DWORD_PTR dwContext = 1,
                       DWORD dwFlags = INTERNET_FLAG_TRANSFER_ASCII, LPCTSTR pstrHeaders = nullptr,
                       DWORD dwHeadersLength = 0);
    // Ends the session; files opened from it stay readable until they are closed.
    virtual void Close();

private:
    struct Settings;
    std::shared_ptr<Settings> m_settings;
};
