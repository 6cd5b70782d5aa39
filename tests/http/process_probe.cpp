// Started by the process tests: writes what it was given (working folder, open descriptors,
// arguments) to the file argv[1], sleeps argv[3] milliseconds, exits with code argv[2].
//   process_probe OUTPUT EXIT_CODE SLEEP_MS [ARG...]
#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 4) return 100;
    std::ofstream out(argv[1]);
    char cwd[4096] = {};
    if (getcwd(cwd, sizeof cwd)) out << "cwd=" << cwd << "\n";
    // Listed before the output file counts: only what the process was started with matters.
    DIR* fds = opendir("/proc/self/fd");
    if (fds) {
        const int own = dirfd(fds);
        while (dirent* entry = readdir(fds)) {
            const std::string name = entry->d_name;
            if (name == "." || name == ".." || std::stoi(name) == own) continue;
            // The output stream is this program's own descriptor.
            char target[4096] = {};
            const std::string link = "/proc/self/fd/" + name;
            if (readlink(link.c_str(), target, sizeof target - 1) > 0 &&
                std::string(target).find("probe-output") != std::string::npos)
                continue;
            out << "fd=" << name << "\n";
        }
        closedir(fds);
    }
    for (int i = 4; i < argc; ++i) out << "arg=" << argv[i] << "\n";
    out.close();
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
    return std::atoi(argv[2]);
}
