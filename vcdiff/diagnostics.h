#pragma once

#include <sstream>
#include <string>

namespace vcdiff {

// The decoder's only report channel: one line per message on standard error, flushed at once.
// The player never sees these; they are for whoever examines a failed patch.
void WriteDiagnosticLine(const char* prefix, const std::string& text);
void SetFatalErrorOccurred();

template <class... Parts>
std::string JoinParts(const Parts&... parts) {
    std::ostringstream text;
    (text << ... << parts);
    return text.str();
}

// A bad delta file, a refused setting or an exceeded limit.
template <class... Parts>
void LogError(const Parts&... parts) {
    WriteDiagnosticLine("ERROR: ", JoinParts(parts...));
}

template <class... Parts>
void LogWarning(const Parts&... parts) {
    WriteDiagnosticLine("WARNING: ", JoinParts(parts...));
}

// Misuse of the public operations or a broken internal invariant. Sets the process-wide fatal
// flag; the caller still takes an ordinary failure path.
template <class... Parts>
void LogFatal(const Parts&... parts) {
    WriteDiagnosticLine("FATAL: ", JoinParts(parts...));
    SetFatalErrorOccurred();
}

}  // namespace vcdiff
