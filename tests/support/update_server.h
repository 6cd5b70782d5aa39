// A real HTTP update server for tests and the demo: listens on 127.0.0.1 (port 8080 unless
// told otherwise), answers the launcher's requests from a ReplyTable, streams files below
// "patch/" from a folder, and records every request.
//
//   varnholt::test::UpdateServer server;           // 127.0.0.1:8080
//   server.Replies().SetLauncherReply(ServerReply::Text("1"));
//   server.Replies().SetPackReply("scripts", "0000ABCD", ServerReply::Text("UPDATE!"));
//   server.SetPatchFolder(release / "patch");
//   server.Start();
#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/reply_table.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace varnholt::test {

struct RecordedRequest {
    std::string address;  // relative to the server base: "info.php?Pack;sys;0000ABCD"
    std::string userAgent;
    std::string cacheControl;
    std::string pragma;
};

class UpdateServer {
public:
    explicit UpdateServer(int port = 8080, std::string host = "127.0.0.1");
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Binds and starts answering; throws std::runtime_error when the address cannot be bound.
    // Port 0 picks a free port (see Port()).
    void Start();
    // Stops answering and closes the listening socket; requests held by SetStalled end too.
    // Called by the destructor.
    void Stop();

    int Port() const { return m_port; }
    // "http://<host>:<port>/"
    std::string BaseUrl() const;

    ReplyTable& Replies() { return m_replies; }
    // Serves "patch/<name>" from this folder (streamed, never loaded whole).
    void SetPatchFolder(const std::filesystem::path& folder);
    // Loads the release folder's replies.txt and news.html and serves its patch/ folder.
    void LoadRelease(const std::filesystem::path& folder);
    // While set, every new request is accepted and never answered.
    void SetStalled(bool stalled);

    // Called once per answered request with a line such as
    // "127.0.0.1 GET /info.php?Pack;sys;0000ABCD 200 12 \"Varnholt Launcher\"". Set before Start.
    void SetLogger(std::function<void(const std::string& line)> logger);

    std::vector<RecordedRequest> Requests() const;
    void ClearRequests();

private:
    void Handle(const httplib::Request& request, httplib::Response& response);
    void Record(const httplib::Request& request, const std::string& address);
    void WaitWhileStalled();
    void SendReply(const ServerReply& reply, httplib::Response& response);
    bool SendPatchFile(const std::string& name, httplib::Response& response);

    std::string m_host;
    int m_port;
    ReplyTable m_replies;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_listenThread;

    mutable std::mutex m_mutex;
    std::condition_variable m_wakeStalled;
    bool m_stalled = false;
    bool m_stopping = false;
    std::filesystem::path m_patchFolder;
    std::vector<RecordedRequest> m_requests;
    std::function<void(const std::string&)> m_logger;
};

}  // namespace varnholt::test
