// The demo's stand-in for the game client. It shows that the launcher started it the way the
// real client expects, in its own folder with the packs beside it, by appending one line to
// Varnholt.log there, and ends after a moment so that the launcher's wait for the game ends too.
//   Varnholt.exe [SECONDS]   (how long it "plays", 2 by default)
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

// The packs the client would load: present in ../packs/ of its working folder.
int CountPacks() {
    std::error_code error;
    int count = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator("../packs", error)) {
        if (entry.path().extension() == ".vh") ++count;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 2;
    std::error_code error;
    const fs::path folder = fs::current_path(error);
    const std::string line = UtcNow() + " Varnholt started, pid " + std::to_string(getpid()) +
                             ", folder " + folder.string() + ", " + std::to_string(CountPacks()) +
                             " packs";
    std::ofstream log("Varnholt.log", std::ios::app);
    log << line << std::endl;
    std::cout << line << std::endl;
    if (!log) {
        std::cerr << "Varnholt: cannot write Varnholt.log in " << folder.string() << std::endl;
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds > 0 ? seconds : 0));
    return 0;
}
