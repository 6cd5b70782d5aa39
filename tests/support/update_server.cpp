#include "tests/support/update_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace varnholt::test {

namespace {

constexpr std::size_t kFileChunk = 256 * 1024;
// Stalled handlers hold their worker until the server stops; keep enough workers for them and
// for the requests that a test still expects answered.
constexpr std::size_t kWorkerThreads = 16;

const std::string kPatchPrefix = "patch/";

// Streams a file in chunks; the file is opened per reply and closed with it.
struct FileStream {
    std::FILE* file = nullptr;
    ~FileStream() {
        if (file) std::fclose(file);
    }
};

}  // namespace

UpdateServer::UpdateServer(int port, std::string host) : m_host(std::move(host)), m_port(port) {}

UpdateServer::~UpdateServer() { Stop(); }

std::string UpdateServer::BaseUrl() const {
    return "http://" + m_host + ":" + std::to_string(m_port) + "/";
}

void UpdateServer::Start() {
    if (m_server) throw std::logic_error("the update server is already running");
    {
        std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    auto server = std::make_unique<httplib::Server>();
    server->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    // Short keep-alive: Stop waits for idle connections to time out.
    server->set_keep_alive_timeout(0);
    server->set_tcp_nodelay(true);
    // Without SO_REUSEPORT, so that a second server on a taken port fails instead of sharing it.
    server->set_socket_options([](int socket) {
        int on = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    if (m_logger) {
        server->set_logger([logger = m_logger](const httplib::Request& request,
                                               const httplib::Response& response) {
            const auto length = response.get_header_value("Content-Length");
            logger(request.remote_addr + " " + request.method + " " + request.target + " " +
                   std::to_string(response.status) + " " + (length.empty() ? "-" : length) + " \"" +
                   request.get_header_value("User-Agent") + "\"");
        });
    }
    server->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        Handle(request, response);
    });
    if (m_port == 0) {
        m_port = server->bind_to_any_port(m_host);
        if (m_port < 0) throw std::runtime_error("cannot bind the update server to " + m_host);
    } else if (!server->bind_to_port(m_host, m_port)) {
        throw std::runtime_error("cannot bind the update server to " + m_host + ":" +
                                 std::to_string(m_port) + " (is the port in use?)");
    }
    m_server = std::move(server);
    m_listenThread = std::thread([this] { m_server->listen_after_bind(); });
    // Stop before the listener runs would be lost and leave it running.
    for (int waited = 0; waited < 5000 && !m_server->is_running(); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void UpdateServer::Stop() {
    if (!m_server) return;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wakeStalled.notify_all();
    m_server->stop();
    if (m_listenThread.joinable()) m_listenThread.join();
    m_server.reset();
}

void UpdateServer::SetPatchFolder(const std::filesystem::path& folder) {
    std::lock_guard lock(m_mutex);
    m_patchFolder = folder;
}

void UpdateServer::LoadRelease(const std::filesystem::path& folder) {
    m_replies.LoadReleaseFile(folder);
    SetPatchFolder(folder / "patch");
}

void UpdateServer::SetLogger(std::function<void(const std::string& line)> logger) {
    m_logger = std::move(logger);
}

void UpdateServer::SetStalled(bool stalled) {
    {
        std::lock_guard lock(m_mutex);
        m_stalled = stalled;
    }
    m_wakeStalled.notify_all();
}

std::vector<RecordedRequest> UpdateServer::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void UpdateServer::ClearRequests() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
}

void UpdateServer::Record(const httplib::Request& request, const std::string& address) {
    std::lock_guard lock(m_mutex);
    m_requests.push_back({address, request.get_header_value("User-Agent"),
                          request.get_header_value("Cache-Control"),
                          request.get_header_value("Pragma")});
}

void UpdateServer::WaitWhileStalled() {
    std::unique_lock lock(m_mutex);
    m_wakeStalled.wait(lock, [this] { return !m_stalled || m_stopping; });
}

void UpdateServer::Handle(const httplib::Request& request, httplib::Response& response) {
    // The raw request target, so that addresses compare exactly as the launcher built them.
    const std::string address =
        request.target.starts_with("/") ? request.target.substr(1) : request.target;
    Record(request, address);
    WaitWhileStalled();
    if (auto reply = m_replies.Find(address)) {
        SendReply(*reply, response);
    } else if (!(address.starts_with(kPatchPrefix) &&
                 SendPatchFile(address.substr(kPatchPrefix.size()), response))) {
        response.status = 404;
        response.set_content("not found: " + address, "text/plain");
    }
}

void UpdateServer::SendReply(const ServerReply& reply, httplib::Response& response) {
    response.status = reply.status;
    std::string body = reply.EncodedBody();
    const std::string type = reply.ContentType();
    if (!reply.stallAfter) {
        response.set_content(body, type);
        return;
    }
    const std::size_t size = body.size();  // taken before the body moves into the provider
    const std::size_t sendFirst = std::min(*reply.stallAfter, size);
    auto provider = [this, body = std::move(body), sendFirst](std::size_t offset, std::size_t,
                                                              httplib::DataSink& sink) {
        if (offset < sendFirst) return sink.write(body.data() + offset, sendFirst - offset);
        std::unique_lock lock(m_mutex);
        m_wakeStalled.wait(lock, [this] { return m_stopping; });
        return false;
    };
    response.set_content_provider(size, type, std::move(provider));
}

bool UpdateServer::SendPatchFile(const std::string& name, httplib::Response& response) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
        return false;
    std::filesystem::path path;
    {
        std::lock_guard lock(m_mutex);
        if (m_patchFolder.empty()) return false;
        path = m_patchFolder / name;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return false;
    auto stream = std::make_shared<FileStream>();
    stream->file = std::fopen(path.c_str(), "rb");
    if (!stream->file) return false;
    response.set_content_provider(
        static_cast<std::size_t>(size), "application/octet-stream",
        [stream, buffer = std::make_shared<std::vector<char>>(kFileChunk)](
            std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            if (std::fseek(stream->file, static_cast<long>(offset), SEEK_SET) != 0) return false;
            const std::size_t n =
                std::fread(buffer->data(), 1, std::min(length, buffer->size()), stream->file);
            return n > 0 && sink.write(buffer->data(), n);
        });
    return true;
}

}  // namespace varnholt::test
