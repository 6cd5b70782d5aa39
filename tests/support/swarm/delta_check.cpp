#include "tests/support/swarm/delta_check.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/utf8.h"
#include "tests/support/swarm/delta_file_decode.h"
#include "tests/support/swarm/engine_error.h"
#include "tests/support/swarm/release.h"
#include "update/file_utils.h"

namespace swarm {

namespace {

namespace fs = std::filesystem;

// The decoder's output target: each byte is compared with the expected pack as it arrives and
// then dropped, so that checking a large pack costs no memory and no disk.
class ExpectedPack {
public:
    explicit ExpectedPack(const fs::path& file) : m_file(file) { Rewind(); }

    void append(const char* s, size_t n) {
        if (!m_difference) Compare(s, n);
        m_size += n;
    }
    void clear() {
        m_size = 0;
        m_difference.reset();
        Rewind();
    }
    void push_back(char c) { append(&c, 1); }
    void reserve(size_t) {}
    size_t size() const { return static_cast<size_t>(m_size); }

    // Offset of the first byte in which the output and the pack differ, a shorter one differing
    // where it ends; none when they are the same.
    std::optional<uint64_t> FirstDifference() const {
        const uint64_t expectedSize = fs::file_size(m_file);
        if (!m_difference && m_size != expectedSize) return std::min(m_size, expectedSize);
        return m_difference;
    }

private:
    void Rewind() {
        m_in = std::ifstream(m_file, std::ios::binary);
        if (!m_in) throw std::runtime_error("cannot read " + m_file.string());
    }

    void Compare(const char* s, size_t n) {
        for (size_t done = 0; done < n;) {
            const size_t want = std::min(n - done, m_buffer.size());
            m_in.read(m_buffer.data(), static_cast<std::streamsize>(want));
            if (m_in.bad()) throw std::runtime_error("cannot read " + m_file.string());
            const size_t got = static_cast<size_t>(m_in.gcount());
            const char* mismatch = std::mismatch(s + done, s + done + got, m_buffer.data()).first;
            if (mismatch != s + done + got || got < want) {
                m_difference = m_size + static_cast<uint64_t>(mismatch - s);
                return;
            }
            done += want;
        }
    }

    fs::path m_file;
    std::ifstream m_in;
    std::vector<char> m_buffer = std::vector<char>(1 << 16);
    uint64_t m_size = 0;
    std::optional<uint64_t> m_difference;
};

// Decodes in the pieces the launcher reads the delta in; false when the decoder refuses it.
bool Decode(const fs::path& oldPack, const fs::path& delta, ExpectedPack* output) {
    try {
        const UINT chunk = GetClusterSize(Utf8ToWide(delta.string()).c_str());
        return DecodeDeltaFile(oldPack, delta, chunk, output);
    } catch (CException* error) {
        throw std::runtime_error("cannot decode " + delta.string() + " against " +
                                 oldPack.string() + TakeEngineReason(error));
    }
}

}  // namespace

void CheckDeltaFile(const fs::path& oldPack, const fs::path& delta, const fs::path& newPack) {
    const std::string which = "the delta " + delta.filename().string() + " from " +
                              oldPack.string() + " to " + newPack.string();
    ExpectedPack output(newPack);
    if (!Decode(oldPack, delta, &output)) throw ReleaseError(which + " cannot be decoded");
    if (const std::optional<uint64_t> offset = output.FirstDifference()) {
        throw ReleaseError(which + " gives other bytes than " + newPack.filename().string() +
                           " from offset " + std::to_string(*offset) + " on");
    }
}

}  // namespace swarm
