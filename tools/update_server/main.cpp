// Serves a release folder (replies.txt, news.html, patch/) as the launcher's update server and
// logs each request on one line. Stops cleanly on SIGINT or SIGTERM.
//   update_server RELEASE_FOLDER [--port N] [--host ADDRESS]
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>

#include "tests/support/update_server.h"

namespace {

int Usage() {
    std::cerr << "usage: update_server RELEASE_FOLDER [--port N] [--host ADDRESS]\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string folder = argv[1];
    std::string host = "127.0.0.1";
    int port = 8080;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--host") == 0 && i + 1 < argc) {
            host = argv[++i];
        } else {
            return Usage();
        }
    }

    // The signals are taken by sigwait below, never by a server thread (they inherit the mask).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::mutex logMutex;
    varnholt::test::UpdateServer server(port, host);
    try {
        server.LoadRelease(folder);
        server.SetLogger([&logMutex](const std::string& line) {
            std::lock_guard lock(logMutex);
            std::cout << line << std::endl;
        });
        server.Start();
    } catch (const std::exception& error) {
        std::cerr << "update_server: " << error.what() << "\n";
        return 1;
    }
    std::cout << "update_server: serving " << folder << " at " << server.BaseUrl() << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cout << "update_server: " << strsignal(signal) << ", stopping" << std::endl;
    server.Stop();
    return 0;
}
