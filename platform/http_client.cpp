#include "platform/http_client.h"

#include <cstdlib>
#include <cwchar>

#include "platform/http_transfer.h"
#include "platform/utf8.h"

namespace {

constexpr long kDefaultTimeoutSeconds = 60;

long TimeoutSeconds() {
    const char* value = std::getenv("VARNHOLT_HTTP_TIMEOUT_SECONDS");
    if (!value) return kDefaultTimeoutSeconds;
    char* end = nullptr;
    const long seconds = std::strtol(value, &end, 10);
    return end != value && seconds > 0 ? seconds : kDefaultTimeoutSeconds;
}

// Splits "A: 1\r\nB: 2\r\n" into header lines.
std::vector<std::string> SplitHeaderLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

[[noreturn]] void ThrowInternetException(const HttpFailure& failure, DWORD_PTR dwContext) {
    throw new CInternetException(failure.Error(), dwContext, CString(failure.what()));
}

}  // namespace

struct CInternetSession::Settings {
    std::string userAgent;
    bool direct = false;
    std::string proxy;  // empty: the environment's
    std::string proxyBypass;
    DWORD_PTR context = 1;
    long timeoutSeconds = kDefaultTimeoutSeconds;
    std::shared_ptr<HttpConnectionPool> pool;
};

CInternetException::CInternetException(DWORD dwError, DWORD_PTR dwContext,
                                       const CString& strMessage)
    : m_dwError(dwError), m_dwContext(dwContext), m_strMessage(strMessage) {}

CHttpFile::CHttpFile(std::unique_ptr<CHttpTransfer> transfer, DWORD_PTR dwContext)
    : m_transfer(std::move(transfer)), m_dwContext(dwContext) {}

CHttpFile::~CHttpFile() = default;

UINT CHttpFile::Read(void* lpBuf, UINT nCount) {
    if (!m_transfer) return 0;
    try {
        return static_cast<UINT>(m_transfer->Read(lpBuf, nCount));
    } catch (const HttpFailure& failure) {
        ThrowInternetException(failure, m_dwContext);
    }
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& dwStatusCode) const {
    if (!m_transfer) return FALSE;
    dwStatusCode = static_cast<DWORD>(m_transfer->StatusCode());
    return dwStatusCode != 0;
}

void CHttpFile::Close() { m_transfer.reset(); }

CString CHttpFile::GetFileURL() const {
    return m_transfer ? CString(m_transfer->Url().c_str()) : CString();
}

CInternetSession::CInternetSession(LPCTSTR pstrAgent, DWORD_PTR dwContext, DWORD dwAccessType,
                                   LPCTSTR pstrProxyName, LPCTSTR pstrProxyBypass, DWORD)
    : m_settings(std::make_shared<Settings>()) {
    m_settings->userAgent = WideToUtf8(pstrAgent);
    m_settings->context = dwContext;
    if (dwAccessType == INTERNET_OPEN_TYPE_DIRECT) {
        m_settings->direct = true;
    } else if (dwAccessType == INTERNET_OPEN_TYPE_PROXY && pstrProxyName && *pstrProxyName) {
        m_settings->proxy = WideToUtf8(pstrProxyName);
        m_settings->proxyBypass = WideToUtf8(pstrProxyBypass);
    }
    m_settings->timeoutSeconds = TimeoutSeconds();
    m_settings->pool = MakeHttpConnectionPool();
}

CInternetSession::~CInternetSession() { Close(); }

CHttpFile* CInternetSession::OpenURL(LPCTSTR pstrURL, DWORD_PTR dwContext, DWORD dwFlags,
                                     LPCTSTR pstrHeaders, DWORD dwHeadersLength) {
    HttpRequest request;
    request.url = WideToUtf8(pstrURL);
    request.userAgent = m_settings->userAgent;
    request.direct = m_settings->direct;
    request.proxy = m_settings->proxy;
    request.proxyBypass = m_settings->proxyBypass;
    request.followRedirects = (dwFlags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
    request.connectTimeoutSeconds = m_settings->timeoutSeconds;
    request.stallTimeoutSeconds = m_settings->timeoutSeconds;
    if (dwFlags & INTERNET_FLAG_RELOAD) {
        // Every cache between here and the server must fetch the reply anew.
        request.headers.push_back("Cache-Control: no-cache");
        request.headers.push_back("Pragma: no-cache");
    }
    if (pstrHeaders) {
        const bool toTerminator = dwHeadersLength == 0 || dwHeadersLength == static_cast<DWORD>(-1);
        const std::size_t length = toTerminator ? std::wcslen(pstrHeaders) : dwHeadersLength;
        const CString headers(pstrHeaders, static_cast<int>(length));
        for (std::string& line : SplitHeaderLines(WideToUtf8(headers)))
            request.headers.push_back(line);
    }
    if (!m_settings->pool) m_settings->pool = MakeHttpConnectionPool();
    try {
        return new CHttpFile(std::make_unique<CHttpTransfer>(request, m_settings->pool), dwContext);
    } catch (const HttpFailure& failure) {
        ThrowInternetException(failure, dwContext);
    }
}

void CInternetSession::Close() { m_settings->pool.reset(); }
