#include "vcdiff/diagnostics.h"

#include <atomic>
#include <cstdio>

#include "vcdiff/streaming_decoder.h"

namespace vcdiff {

namespace {
std::atomic<bool> g_fatalErrorOccurred{false};
}

void WriteDiagnosticLine(const char* prefix, const std::string& text) {
    // One write per line, so lines of decoders on different threads do not interleave.
    std::string line = prefix + text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void SetFatalErrorOccurred() { g_fatalErrorOccurred.store(true); }

bool FatalErrorOccurred() { return g_fatalErrorOccurred.load(); }

}  // namespace vcdiff
