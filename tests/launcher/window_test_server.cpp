// The update server for the whole-program window test: every pack current, a news page, and the
// launcher current only at one version, so that an older launcher hands over to the update in
// patch/. Runs on 127.0.0.1:8080 until standard input closes or a line arrives. Prints "ready",
// then one line per answered request (so a test sees what the news page's script reports).
//
//   window_test_server NEWS_HTML PATCH_FOLDER CURRENT_VERSION
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>

#include "tests/support/update_server.h"

using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: window_test_server NEWS_HTML PATCH_FOLDER CURRENT_VERSION\n";
        return 2;
    }
    const std::filesystem::path news = argv[1], patch = argv[2];
    const std::string current = argv[3];
    try {
        std::mutex outputMutex;  // outlives the server, whose threads log until it stops
        UpdateServer server;
        server.SetLogger([&outputMutex](const std::string& line) {
            std::lock_guard<std::mutex> lock(outputMutex);
            std::cout << line << std::endl;
        });
        if (std::filesystem::exists(news)) {
            std::ifstream in(news, std::ios::binary);
            server.Replies().SetNewsPage(std::string(std::istreambuf_iterator<char>(in), {}));
        }
        server.SetPatchFolder(patch);
        server.Replies().SetLauncherReply(ServerReply::Text("0"));
        server.Replies().SetReply("info.php?" + current + ";Launcher", ServerReply::Text("1"));
        const auto update = patch / "VarnholtUpdate.exe";
        if (std::filesystem::exists(update))
            server.Replies().SetLauncherSizeReply(
                ServerReply::Text(std::to_string(std::filesystem::file_size(update))));
        server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
        server.Start();
        std::cout << "ready" << std::endl;  // nothing can ask before this line
        std::string line;
        std::getline(std::cin, line);
    } catch (const std::exception& e) {
        std::cerr << "window_test_server: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
