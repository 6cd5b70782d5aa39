// One HTTP GET over libcurl's multi interface, pulled by its reader: the transfer advances only
// while Read waits for data, and pauses when its bounded buffer is full, so a body of any size
// passes through a fixed amount of memory. Used by CHttpFile; no other file sees curl.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/types.h"

struct HttpRequest {
    std::string url;
    std::string userAgent;
    std::vector<std::string> headers;  // complete lines without line breaks
    // No proxy at all; otherwise proxy, or when it is empty the proxy of the environment
    // (http_proxy, no_proxy, ...).
    bool direct = false;
    std::string proxy;
    std::string proxyBypass;
    bool followRedirects = true;
    long connectTimeoutSeconds = 60;
    long stallTimeoutSeconds = 60;  // no byte received for this long fails the transfer
};

// A failed transfer: a platform error number (ERROR_INTERNET_*) and a message that names the URL
// and libcurl's reason.
class HttpFailure : public std::runtime_error {
public:
    HttpFailure(DWORD error, const std::string& message)
        : std::runtime_error(message), m_error(error) {}
    DWORD Error() const { return m_error; }

private:
    DWORD m_error;
};

// Connection reuse between the requests of one session.
class HttpConnectionPool;
std::shared_ptr<HttpConnectionPool> MakeHttpConnectionPool();

class CHttpTransfer {
public:
    // Sends the request and waits until the reply has begun. Throws HttpFailure.
    CHttpTransfer(const HttpRequest& request, std::shared_ptr<HttpConnectionPool> pool);
    ~CHttpTransfer();
    CHttpTransfer(const CHttpTransfer&) = delete;
    CHttpTransfer& operator=(const CHttpTransfer&) = delete;

    // Fills up to count bytes, waiting for them; fewer only at the end of the body. Throws
    // HttpFailure when the transfer breaks or stalls.
    std::size_t Read(void* buffer, std::size_t count);
    long StatusCode() const;
    const std::string& Url() const;

    // The most body bytes held in memory at once, whatever the body's size.
    static constexpr std::size_t kBufferLimit = 256 * 1024;

private:
    struct State;
    std::unique_ptr<State> m_state;
};
