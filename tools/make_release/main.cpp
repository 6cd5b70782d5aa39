// make_release: turns folders of packs into the folder an update server publishes.
//
//   make_release [--launcher FILE] [--news FILE] OLD_PACKS NEW_PACKS RELEASE
//   make_release --game VERSION [--largest-pack BYTES] FOLDER
//
// The first form takes two or more folders of packs (NAME.vh), oldest first, and writes the
// release folder: replies.txt, news.html and patch/ with the deltas, whole packs and torrents.
// Every delta is decoded against its old pack and must give the new pack byte for byte, or the
// release is refused (exit status 2).
// The second writes a version of the made-up demo game.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/swarm/game_version.h"
#include "tests/support/swarm/release.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: make_release [--launcher FILE --launcher-version A.B.C.D] [--news FILE] OLD_PACKS "
    "NEW_PACKS [NEWER_PACKS...] "
    "RELEASE\n"
    "       make_release --game VERSION [--largest-pack BYTES] FOLDER\n"
    "\n"
    "  OLD_PACKS NEW_PACKS  folders of packs (NAME.vh), oldest first; the last one is current\n"
    "  RELEASE              the release folder to make (must not exist or be empty)\n"
    "  --launcher FILE      publish FILE as patch/VarnholtUpdate.exe\n"
    "  --launcher-version V FILE's version: launchers of other versions update themselves\n"
    "  --news FILE          use FILE as the news page instead of the default one\n"
    "  --game VERSION       write version VERSION (1, 2, ...) of the demo game's packs\n"
    "  --largest-pack BYTES size of the demo game's largest pack (default 40 MiB)\n";

struct Arguments {
    std::vector<fs::path> positional;
    fs::path launcher;
    std::string launcherVersion;
    fs::path news;
    int gameVersion = 0;
    unsigned long long largestPack = 0;
};

[[noreturn]] void Refuse(const std::string& message) {
    std::cerr << "make_release: " << message << "\n\n" << kUsage;
    std::exit(2);
}

unsigned long long ParseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value == 0) {
        Refuse(option + " needs a positive number, not \"" + text + "\"");
    }
    return value;
}

Arguments Parse(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) Refuse(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (arg == "--launcher") {
            arguments.launcher = value();
        } else if (arg == "--launcher-version") {
            arguments.launcherVersion = value();
        } else if (arg == "--news") {
            arguments.news = value();
        } else if (arg == "--game") {
            arguments.gameVersion = static_cast<int>(ParseNumber(arg, value()));
        } else if (arg == "--largest-pack") {
            arguments.largestPack = ParseNumber(arg, value());
        } else if (arg.size() > 1 && arg[0] == '-') {
            Refuse("unknown option " + arg);
        } else {
            arguments.positional.push_back(arg);
        }
    }
    return arguments;
}

std::string ReadNews(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) Refuse("cannot read the news page " + file.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int WriteGame(const Arguments& arguments) {
    if (arguments.positional.size() != 1) Refuse("--game writes into exactly one FOLDER");
    swarm::GameSpec spec;
    if (arguments.largestPack != 0) spec.largestPack = arguments.largestPack;
    swarm::WriteGameVersion(spec, arguments.gameVersion, arguments.positional[0]);
    std::cout << "wrote version " << arguments.gameVersion << " of the game's packs to "
              << arguments.positional[0].string() << '\n';
    return 0;
}

int WriteRelease(const Arguments& arguments) {
    if (arguments.positional.size() < 3) {
        Refuse("give the old and the new folder of packs and the release folder");
    }
    std::vector<fs::path> versions(arguments.positional.begin(), arguments.positional.end() - 1);
    for (const fs::path& folder : versions) {
        if (!fs::is_directory(folder)) Refuse("no folder of packs at " + folder.string());
    }
    swarm::ReleaseOptions options;
    options.launcherUpdate = arguments.launcher;
    options.launcherVersion = arguments.launcherVersion;
    if (!arguments.news.empty()) options.newsPage = ReadNews(arguments.news);
    options.onProgress = [](const std::string& what, int step, int steps) {
        std::printf("[%3d/%3d] %s\n", step, steps, what.c_str());
        std::fflush(stdout);
    };
    const swarm::Release release =
        swarm::MakeRelease(versions, arguments.positional.back(), options);
    std::cout << "release ready in " << release.folder.string() << ": "
              << release.torrentFiles.size() << " torrents\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = Parse(argc, argv);
    try {
        return arguments.gameVersion != 0 ? WriteGame(arguments) : WriteRelease(arguments);
    } catch (const swarm::ReleaseError& error) {
        std::cerr << "make_release: " << error.what() << '\n';
        return 2;
    } catch (const std::exception& error) {
        std::cerr << "make_release: failed: " << error.what() << '\n';
        return 1;
    }
}
