#include "platform/http_transfer.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/http_client.h"

namespace {

constexpr long kReceiveChunk = 64 * 1024;
constexpr int kPollMilliseconds = 1000;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

DWORD ErrorFromCurl(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
            return ERROR_INTERNET_CANNOT_CONNECT;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return ERROR_INTERNET_NAME_NOT_RESOLVED;
        case CURLE_OPERATION_TIMEDOUT:
            return ERROR_INTERNET_TIMEOUT;
        case CURLE_URL_MALFORMAT:
            return ERROR_INTERNET_INVALID_URL;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return ERROR_INTERNET_CONNECTION_RESET;
        case CURLE_PARTIAL_FILE:
        case CURLE_GOT_NOTHING:
            return ERROR_INTERNET_CONNECTION_ABORTED;
        case CURLE_WEIRD_SERVER_REPLY:
            return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        default:
            return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

// Sockets must not leak into processes the launcher starts.
curl_socket_t OpenCloseOnExecSocket(void*, curlsocktype, struct curl_sockaddr* address) {
    return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

}  // namespace

class HttpConnectionPool {
public:
    HttpConnectionPool() : m_share(curl_share_init()) {
        curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &Lock);
        curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &Unlock);
        curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
    ~HttpConnectionPool() { curl_share_cleanup(m_share); }
    HttpConnectionPool(const HttpConnectionPool&) = delete;
    HttpConnectionPool& operator=(const HttpConnectionPool&) = delete;

    CURLSH* Share() const { return m_share; }

private:
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* pool) {
        static_cast<HttpConnectionPool*>(pool)->MutexFor(data).lock();
    }
    static void Unlock(CURL*, curl_lock_data data, void* pool) {
        static_cast<HttpConnectionPool*>(pool)->MutexFor(data).unlock();
    }
    std::mutex& MutexFor(curl_lock_data data) {
        return m_mutexes[static_cast<std::size_t>(data) % m_mutexes.size()];
    }

    CURLSH* m_share;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> m_mutexes;
};

std::shared_ptr<HttpConnectionPool> MakeHttpConnectionPool() {
    InitCurlOnce();
    return std::make_shared<HttpConnectionPool>();
}

struct CHttpTransfer::State {
    std::string url;
    bool followRedirects = true;
    std::shared_ptr<HttpConnectionPool> pool;  // outlives the easy handle that uses it
    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};

    // Body bytes received and not yet read: buffer[head, tail).
    std::vector<char> buffer;
    std::size_t head = 0;
    std::size_t tail = 0;
    bool paused = false;
    bool headerEnded = false;
    bool done = false;
    CURLcode result = CURLE_OK;
    // No byte for this long while the transfer is not paused by its reader: the server stalls.
    std::chrono::seconds stallTimeout{60};
    std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();

    std::size_t Buffered() const { return tail - head; }

    ~State() {
        if (multi && easy) curl_multi_remove_handle(multi, easy);
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        curl_slist_free_all(headers);
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        return static_cast<State*>(self)->Store(data, size * count);
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
        auto* state = static_cast<State*>(self);
        const std::size_t length = size * count;
        state->lastProgress = std::chrono::steady_clock::now();
        if (length <= 2 && (length == 0 || data[0] == '\r' || data[0] == '\n'))
            state->headerEnded = state->HeaderIsFinal();
        return length;
    }

    // A 1xx header, or a redirect that libcurl goes on to follow, is not the reply's header.
    bool HeaderIsFinal() const {
        long status = 0;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200) return false;
        if (!followRedirects || status < 300 || status >= 400) return true;
        char* location = nullptr;
        curl_easy_getinfo(easy, CURLINFO_REDIRECT_URL, &location);
        return location == nullptr;
    }

    std::size_t Store(const char* data, std::size_t length) {
        headerEnded = true;
        lastProgress = std::chrono::steady_clock::now();
        if (Buffered() > 0 && Buffered() + length > kBufferLimit) {
            paused = true;
            return CURL_WRITEFUNC_PAUSE;  // libcurl keeps the chunk and hands it over again
        }
        if (head > 0 && tail + length > buffer.size()) {
            std::memmove(buffer.data(), buffer.data() + head, Buffered());
            tail -= head;
            head = 0;
        }
        if (tail + length > buffer.size()) buffer.resize(tail + length);
        std::memcpy(buffer.data() + tail, data, length);
        tail += length;
        return length;
    }

    std::size_t Take(char* out, std::size_t count) {
        const std::size_t n = std::min(count, Buffered());
        if (n == 0) return 0;
        std::memcpy(out, buffer.data() + head, n);
        head += n;
        if (head == tail) head = tail = 0;
        return n;
    }

    // Runs the transfer a step; waits up to kPollMilliseconds when nothing was ready.
    void Advance(const char* verb) {
        if (paused) {
            paused = false;
            lastProgress = std::chrono::steady_clock::now();
            curl_easy_pause(easy, CURLPAUSE_CONT);
        }
        const std::size_t before = Buffered();
        Perform(verb);
        if (done || paused || Buffered() != before) return;
        curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
        Perform(verb);
        if (!done && !paused && std::chrono::steady_clock::now() - lastProgress > stallTimeout)
            throw HttpFailure(ERROR_INTERNET_TIMEOUT,
                              std::string("cannot ") + verb + " " + url + ": no data for " +
                                  std::to_string(stallTimeout.count()) + " seconds");
    }

    void Perform(const char* verb) {
        int running = 0;
        CURLMcode code = curl_multi_perform(multi, &running);
        if (code != CURLM_OK)
            throw HttpFailure(
                ERROR_INTERNET_INTERNAL_ERROR,
                std::string("cannot ") + verb + " " + url + ": " + curl_multi_strerror(code));
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                done = true;
                result = message->data.result;
            }
        }
    }

    void ThrowIfFailed(const char* verb) const {
        if (!done || result == CURLE_OK) return;
        std::string reason = curl_easy_strerror(result);
        if (errorText[0] != '\0') reason += std::string(" (") + errorText + ")";
        throw HttpFailure(ErrorFromCurl(result),
                          std::string("cannot ") + verb + " " + url + ": " + reason);
    }
};

CHttpTransfer::CHttpTransfer(const HttpRequest& request, std::shared_ptr<HttpConnectionPool> pool)
    : m_state(std::make_unique<State>()) {
    InitCurlOnce();
    State& s = *m_state;
    s.url = request.url;
    s.followRedirects = request.followRedirects;
    s.stallTimeout = std::chrono::seconds(request.stallTimeoutSeconds);
    s.pool = std::move(pool);
    s.buffer.resize(kBufferLimit);
    s.easy = curl_easy_init();
    s.multi = curl_multi_init();
    if (!s.easy || !s.multi)
        throw HttpFailure(ERROR_INTERNET_INTERNAL_ERROR,
                          "cannot open " + s.url + ": out of memory");

    CURL* e = s.easy;
    curl_easy_setopt(e, CURLOPT_URL, s.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, s.errorText);
    curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveChunk);
    curl_easy_setopt(e, CURLOPT_OPENSOCKETFUNCTION, &OpenCloseOnExecSocket);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, request.connectTimeoutSeconds);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &State::OnBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &s);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &State::OnHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &s);
    if (!request.userAgent.empty())
        curl_easy_setopt(e, CURLOPT_USERAGENT, request.userAgent.c_str());
    if (request.direct) {
        curl_easy_setopt(e, CURLOPT_PROXY, "");
    } else if (!request.proxy.empty()) {
        curl_easy_setopt(e, CURLOPT_PROXY, request.proxy.c_str());
        if (!request.proxyBypass.empty())
            curl_easy_setopt(e, CURLOPT_NOPROXY, request.proxyBypass.c_str());
    }
    for (const std::string& line : request.headers)
        s.headers = curl_slist_append(s.headers, line.c_str());
    if (s.headers) curl_easy_setopt(e, CURLOPT_HTTPHEADER, s.headers);
    if (s.pool) curl_easy_setopt(e, CURLOPT_SHARE, s.pool->Share());
    curl_multi_add_handle(s.multi, e);

    while (!s.headerEnded && !s.done) s.Advance("open");
    s.ThrowIfFailed("open");
}

CHttpTransfer::~CHttpTransfer() = default;

std::size_t CHttpTransfer::Read(void* buffer, std::size_t count) {
    State& s = *m_state;
    char* out = static_cast<char*>(buffer);
    std::size_t got = 0;
    for (;;) {
        got += s.Take(out + got, count - got);
        if (got == count) return got;
        if (s.done) {
            s.ThrowIfFailed("read");
            return got;
        }
        s.Advance("read");
    }
}

long CHttpTransfer::StatusCode() const {
    long status = 0;
    curl_easy_getinfo(m_state->easy, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

const std::string& CHttpTransfer::Url() const { return m_state->url; }
