// A delta file decoded as the launcher patches a pack, for the tools that must do exactly what it
// does: the old pack read on demand through the engine's source reader, the engine's decoder
// settings, the delta fed in pieces. Only where the new bytes go differs between them.
#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/utf8.h"
#include "update/source_file.h"
#include "vcdiff/streaming_decoder.h"

namespace swarm {

// Decodes `delta` against `oldPack` into `output`, `pieceSize` delta bytes at a time. False when
// the decoder refuses the delta. Throws std::runtime_error when the delta cannot be read, and the
// engine's CException* when the old pack cannot be.
template <typename Output>
bool DecodeDeltaFile(const std::filesystem::path& oldPack, const std::filesystem::path& delta,
                     UINT pieceSize, Output* output) {
    std::ifstream in(delta, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + delta.string());
    CSourceFile source(Utf8ToWide(oldPack.string()).c_str(), pieceSize);
    vcdiff::VCDiffStreamingDecoder decoder;
    decoder.SetAllowVcdTarget(false);
    decoder.StartDecoding<CSourceFile>(&source);
    decoder.SetMaximumTargetFileSize(0xFFFFFFFF);
    std::vector<char> piece(pieceSize);
    while (in.read(piece.data(), pieceSize) || in.gcount() > 0) {
        // A refused piece has reset the decoder already: it is not finished then.
        if (!decoder.template DecodeChunk<Output>(piece.data(), static_cast<size_t>(in.gcount()),
                                                  output))
            return false;
    }
    if (in.bad()) throw std::runtime_error("cannot read " + delta.string());
    return decoder.FinishDecoding();
}

}  // namespace swarm
