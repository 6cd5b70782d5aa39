// Downloads one large file from a loopback update server through the launcher's HTTP client,
// writing it to disk chunk by chunk as the engine does, and with `curl -o` from the same server,
// alternately, and prints the ratio of the best times (the goal is at most 1.2).
//   bench_http [SIZE_MIB [ROUNDS [CHUNK_BYTES]]]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/handle.h"
#include "platform/http_client.h"
#include "platform/process.h"
#include "tests/support/update_server.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void MakeFile(const fs::path& path, std::size_t size) {
    std::vector<char> block(1 << 20);
    unsigned value = 12345;
    for (char& byte : block) byte = static_cast<char>((value = value * 1103515245u + 12345u) >> 16);
    std::ofstream out(path, std::ios::binary);
    for (std::size_t done = 0; done < size; done += block.size())
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - done)));
}

// The engine's download loop: read one chunk, write it, until the body ends.
double DownloadWithClient(CInternetSession& session, const std::string& url, const fs::path& to,
                          std::size_t chunk) {
    const auto start = Clock::now();
    CHttpFile* file = session.OpenURL(
        CString(url.c_str()), 1,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY);
    CFile out(CString(to.c_str()), CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
    std::vector<char> buffer(chunk);
    while (UINT n = file->Read(buffer.data(), static_cast<UINT>(buffer.size())))
        out.Write(buffer.data(), n);
    DWORD status = 0;
    file->QueryInfoStatusCode(status);
    file->Close();
    delete file;
    out.Close();
    if (status != 200) {
        std::fprintf(stderr, "bench_http: status %u\n", status);
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double DownloadWithCurl(const std::string& url, const fs::path& to) {
    const auto start = Clock::now();
    HANDLE process = StartProcessWithArguments(
        L"/usr/bin/curl",
        {CString(L"-s"), CString(L"-f"), CString(L"-o"), CString(to.c_str()), CString(url.c_str())},
        nullptr);
    if (!process) {
        std::fprintf(stderr, "bench_http: cannot start /usr/bin/curl\n");
        std::exit(1);
    }
    WaitForSingleObject(process, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (code != 0) {
        std::fprintf(stderr, "bench_http: curl failed with %u\n", code);
        std::exit(1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::size_t chunk = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 4096;
    const fs::path folder = fs::temp_directory_path() / ("bench_http-" + std::to_string(getpid()));
    fs::create_directories(folder / "patch");
    MakeFile(folder / "patch" / "pack.zip", mib << 20);

    varnholt::test::UpdateServer server(0);
    server.SetPatchFolder(folder / "patch");
    server.Start();
    const std::string url = server.BaseUrl() + "patch/pack.zip";
    CInternetSession session(L"Varnholt Launcher");

    double bestClient = 1e9;
    double bestCurl = 1e9;
    for (int round = 0; round < rounds; ++round) {
        double client = 0;
        try {
            client = DownloadWithClient(session, url, folder / "client.out", chunk);
        } catch (CException* e) {
            std::fprintf(stderr, "bench_http: %ls\n", e->GetErrorMessage().GetString());
            e->Delete();
            return 1;
        }
        const double curl = DownloadWithCurl(url, folder / "curl.out");
        if (fs::file_size(folder / "client.out") != (mib << 20)) {
            std::fprintf(stderr, "bench_http: the client wrote a file of the wrong size\n");
            return 1;
        }
        std::printf("round %d: client %.3f s, curl %.3f s\n", round + 1, client, curl);
        bestClient = std::min(bestClient, client);
        bestCurl = std::min(bestCurl, curl);
    }
    server.Stop();
    fs::remove_all(folder);
    std::printf(
        "%zu MiB in %zu-byte chunks: client %.3f s (%.0f MiB/s), curl -o %.3f s "
        "(%.0f MiB/s), ratio %.2f (goal <= 1.2)\n",
        mib, chunk, bestClient, mib / bestClient, bestCurl, mib / bestCurl, bestClient / bestCurl);
    return 0;
}
