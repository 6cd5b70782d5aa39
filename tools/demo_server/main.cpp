// demo_server: the outside world of the demo, for one release folder made by make_release.
//
//   demo_server RELEASE
//       Serves RELEASE on 127.0.0.1:8080 with its tracker and seeder until SIGINT or SIGTERM,
//       logging one line per request; then stops them all.
//   demo_server --make-client PACKS CLIENT
//       Makes CLIENT/packs/ from the folder of packs PACKS as a player's outdated client would
//       have it: one pack missing, one damaged.
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>

#include "tests/support/swarm/client_layout.h"
#include "tests/support/swarm/pack_names.h"
#include "tools/demo_server/demo_services.h"

namespace {

// Two of the largest packs, so the whole-pack downloads visibly move the bar beside the deltas.
constexpr int kMissingPack = 6;
constexpr int kDamagedPack = 12;

int Usage() {
    std::cerr << "usage: demo_server RELEASE\n"
                 "       demo_server --make-client PACKS CLIENT\n";
    return 2;
}

int MakeClient(const std::string& packs, const std::string& client) {
    swarm::MakeClientFolder(packs, client, {{kMissingPack}, {kDamagedPack}});
    std::cout << "demo_server: " << client << "/packs/ holds the packs of " << packs << " without "
              << swarm::PackFileName(kMissingPack) << " and with "
              << swarm::PackFileName(kDamagedPack) << " damaged" << std::endl;
    return 0;
}

int Serve(const std::string& release) {
    // Blocked before any thread starts, so every server and library thread inherits the mask
    // and the signals reach only the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::mutex logMutex;
    DemoServices services(release, [&logMutex](const std::string& line) {
        std::lock_guard lock(logMutex);
        std::cout << line << std::endl;
    });
    services.Start();
    std::cout << "demo_server: ready, Ctrl+C stops" << std::endl;

    int signal = 0;
    sigwait(&stopSignals, &signal);
    std::cout << "demo_server: " << strsignal(signal) << ", stopping" << std::endl;
    services.Stop();
    std::cout << "demo_server: stopped" << std::endl;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::strcmp(argv[1], "--make-client") == 0)
            return MakeClient(argv[2], argv[3]);
        if (argc == 2 && argv[1][0] != '-') return Serve(argv[1]);
        return Usage();
    } catch (const std::exception& error) {
        std::cerr << "demo_server: " << error.what() << std::endl;
        return 1;
    }
}
