#include "tests/zip/archive_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace {

void Put16(std::string& out, uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

uint32_t Crc32(const std::string& content) {
    return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                       static_cast<uInt>(content.size())));
}

std::string RawDeflate(const std::string& content) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out(deflateBound(&stream, content.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate failed");
    return out;
}

BuiltEntry StoredEntry(const std::string& name, const std::string& content) {
    BuiltEntry entry;
    entry.name = name;
    entry.data = content;
    entry.crc = Crc32(content);
    entry.compressedSize = entry.uncompressedSize = static_cast<uint32_t>(content.size());
    return entry;
}

BuiltEntry DeflatedEntry(const std::string& name, const std::string& content) {
    BuiltEntry entry = StoredEntry(name, content);
    entry.method = 8;
    entry.data = RawDeflate(content);
    entry.compressedSize = static_cast<uint32_t>(entry.data.size());
    return entry;
}

std::string TimestampBlock(uint8_t flags, const std::vector<int32_t>& times) {
    std::string block = "UT";
    Put16(block, static_cast<uint32_t>(1 + 4 * times.size()));
    block.push_back(static_cast<char>(flags));
    for (int32_t time : times) Put32(block, static_cast<uint32_t>(time));
    return block;
}

std::string BuildArchive(const std::vector<BuiltEntry>& entries, const EndRecordFields& end) {
    std::string out;
    std::vector<uint32_t> offsets;
    for (const BuiltEntry& e : entries) {
        offsets.push_back(static_cast<uint32_t>(out.size()));
        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, e.flags);
        Put16(out, e.method);
        Put16(out, e.dosTime);
        Put16(out, e.dosDate);
        Put32(out, e.zeroLocalSizes ? 0 : e.crc);
        Put32(out, e.zeroLocalSizes ? 0 : e.compressedSize);
        Put32(out, e.zeroLocalSizes ? 0 : e.uncompressedSize);
        Put16(out, e.localNameLength >= 0 ? e.localNameLength : e.name.size());
        Put16(out, static_cast<uint32_t>(e.localExtra.size()));
        out += e.name;
        out += e.localExtra;
        out += e.data;
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const BuiltEntry& e = entries[i];
        Put32(out, 0x02014B50);
        Put16(out, 0x031E);  // made on Unix
        Put16(out, 20);
        Put16(out, e.flags);
        Put16(out, e.method);
        Put16(out, e.dosTime);
        Put16(out, e.dosDate);
        Put32(out, e.crc);
        Put32(out, e.compressedSize);
        Put32(out, e.uncompressedSize);
        Put16(out, static_cast<uint32_t>(e.name.size()));
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, 0);
        Put32(out, e.externalAttributes);
        Put32(out, offsets[i]);
        out += e.name;
    }
    const uint32_t directorySize = static_cast<uint32_t>(out.size()) - directoryOffset;
    const auto count = static_cast<uint32_t>(entries.size());
    Put32(out, 0x06054B50);
    Put16(out, end.disk);
    Put16(out, end.directoryDisk);
    Put16(out, end.entriesHere >= 0 ? static_cast<uint32_t>(end.entriesHere) : count);
    Put16(out, end.entriesTotal >= 0 ? static_cast<uint32_t>(end.entriesTotal) : count);
    Put32(out, directorySize);
    Put32(out, directoryOffset);
    Put16(out, static_cast<uint32_t>(end.comment.size()));
    out += end.comment;
    return out;
}
