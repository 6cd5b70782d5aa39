// Writes zip archives byte by byte, so tests can make what no archiver writes: wrong sizes,
// wrong CRCs, damaged deflate streams, mismatched local headers, odd end records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct BuiltEntry {
    std::string name;
    std::string data;  // bytes as stored in the archive (already compressed for method 8)
    uint16_t method = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint32_t externalAttributes = 0x81A40000;  // Unix regular file, mode 0644
    uint16_t flags = 0;
    uint16_t dosTime = 0x6000;  // 12:00:00
    uint16_t dosDate = 0x5A87;  // 2025-04-07
    std::string localExtra;
    // Local header fields when they differ from the central ones.
    int localNameLength = -1;
    bool zeroLocalSizes = false;  // as written when a data descriptor follows (flag bit 3)
};

// An entry whose central fields describe data as given: stored or raw-deflated.
BuiltEntry StoredEntry(const std::string& name, const std::string& content);
BuiltEntry DeflatedEntry(const std::string& name, const std::string& content);
std::string RawDeflate(const std::string& content);
uint32_t Crc32(const std::string& content);

struct EndRecordFields {
    uint16_t disk = 0;
    uint16_t directoryDisk = 0;
    int entriesHere = -1;  // -1: the entry count
    int entriesTotal = -1;
    std::string comment;
};

// The archive's bytes: local headers and data, central directory, end record.
std::string BuildArchive(const std::vector<BuiltEntry>& entries, const EndRecordFields& end = {});

// An extended timestamp ("UT") block with the given flags and times.
std::string TimestampBlock(uint8_t flags, const std::vector<int32_t>& times);
