// What xdelta3 never writes: the 'S' format with interleaved windows and checksums, VCD_TARGET
// windows, COPYs that run from the source on into the target window, cached addresses.

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/vcdiff/decode_helpers.h"
#include "tests/vcdiff/test_delta_writer.h"
#include "vcdiff/streaming_decoder.h"

namespace vcdiff_test {
namespace {

const std::string kSource = "0123456789abcdefghijklmnopqrstuvwxyz";

// Expects the same target, and no message, for every piece size from whole to one byte.
void ExpectDecodes(const std::string& delta, const std::string& source, const std::string& expected,
                   bool allowVcdTarget = false) {
    for (size_t piece : {size_t{0}, size_t{7}, size_t{3}, size_t{1}}) {
        SCOPED_TRACE("piece size " + std::to_string(piece));
        const DecodeOutcome outcome =
            Decode(delta, source, {.pieceSize = piece, .allowVcdTarget = allowVcdTarget});
        EXPECT_TRUE(outcome.chunksAccepted);
        EXPECT_TRUE(outcome.finished);
        EXPECT_EQ(outcome.errors, "");
        EXPECT_EQ(outcome.target, expected);
    }
}

// Two interleaved windows that use ADD, RUN, COPY from source and target, and paired opcodes
// whose COPY address spans several bytes (so a piece can end inside it).
std::vector<TestWindow> InterleavedWindows(std::string* expected) {
    TestWindow first(kVcdSource | kVcdChecksum, 36, 0, true);
    first.body.Add("Hello, ").Copy(10, 0, 0).Run(5, '!');
    // ADD 2 paired with COPY 6 from the window's first byte (address 36, just past the source).
    first.body.Opcode(AddCopyOpcode(2, 6, 0)).Data("<>").Address(0, 36);
    // HERE mode: here = 36 + 30, minus 16 gives window offset 14.
    first.body.Copy(4, 1, 16);
    const std::string firstTarget = "Hello, 0123456789!!!!!<>Hello," + std::string("789!");
    first.targetLength = firstTarget.size();
    first.checksum = Adler32FromZero(firstTarget);

    TestWindow second(kVcdChecksum, 0, 0, true);
    second.body.Add("abc").Copy(300, 0, 0).Opcode(AddCopyOpcode(1, 4, 0)).Data("z").Address(0, 200);
    std::string secondTarget = "abc";
    while (secondTarget.size() < 303) {
        secondTarget += secondTarget.substr(secondTarget.size() - 3, 3);
    }
    secondTarget = secondTarget.substr(0, 303) + "z" + secondTarget.substr(200, 4);
    second.targetLength = secondTarget.size();
    second.checksum = Adler32FromZero(secondTarget);
    *expected = firstTarget + secondTarget;
    return {first, second};
}

TEST(HandmadeDelta, InterleavedWindowsWithChecksumsDecodeInAnyPieceSize) {
    std::string expected;
    const std::string delta = EncodeDelta('S', InterleavedWindows(&expected));
    ExpectDecodes(delta, kSource, expected);
}

TEST(HandmadeDelta, WrongChecksumFailsTheWindow) {
    std::string expected;
    std::vector<TestWindow> windows = InterleavedWindows(&expected);
    *windows[0].checksum ^= 1;
    const DecodeOutcome wrong = Decode(EncodeDelta('S', windows), kSource);
    EXPECT_FALSE(wrong.chunksAccepted);
    EXPECT_EQ(wrong.errors,
              "ERROR: Target data does not match checksum; this could mean that the wrong "
              "dictionary was used\n");
    EXPECT_EQ(wrong.target, "");

    // zlib's usual start value 1 is not this format's.
    windows = InterleavedWindows(&expected);
    const std::string firstTarget = expected.substr(0, windows[0].targetLength);
    windows[0].checksum = adler32(1, reinterpret_cast<const Bytef*>(firstTarget.data()),
                                  static_cast<uInt>(firstTarget.size()));
    EXPECT_FALSE(Decode(EncodeDelta('S', windows), kSource).chunksAccepted);
}

TEST(HandmadeDelta, ChecksumFieldIsOnlyReadInTheInterleavedFormat) {
    // Version 0 with Win_Indicator 0x05: the checksum bit is ignored and no field is read.
    TestWindow window(kVcdSource | kVcdChecksum, 10);
    window.body.Copy(10, 0, 0);
    window.targetLength = 10;
    ExpectDecodes(EncodeDelta(0, {window}), kSource, "0123456789");
}

TEST(HandmadeDelta, VcdTargetWindowCopiesEarlierOutputWhenAllowed) {
    TestWindow first;
    first.body.Add("The quick brown fox");
    first.targetLength = 19;
    TestWindow second(kVcdTarget, 5, 4);
    second.body.Copy(5, 0, 0).Add("!").Copy(5, 0, 0);
    second.targetLength = 11;
    const std::string delta = EncodeDelta(0, {first, second});
    ExpectDecodes(delta, kSource, "The quick brown foxquick!quick", true);

    const DecodeOutcome forbidden = Decode(delta, kSource);
    EXPECT_FALSE(forbidden.chunksAccepted);
    EXPECT_EQ(forbidden.errors,
              "ERROR: Delta file contains VCD_TARGET flag, which is not allowed by current "
              "decoder settings\n");
    EXPECT_EQ(forbidden.target, "The quick brown fox") << "the first window was complete";
}

TEST(HandmadeDelta, CopyRunsFromSourceSegmentIntoTargetWindow) {
    // Segment "cdef" (S = 4). After ADD "xy", COPY 5 from address 2 reads "ef" from the source
    // and then continues with the window's own bytes "xye".
    TestWindow window(kVcdSource, 4, 12);
    window.body.Add("xy").Copy(5, 0, 2);
    window.targetLength = 7;
    const std::string source = "............cdef....";
    ExpectDecodes(EncodeDelta(0, {window}), source, "xyefxye");

    StringSource counted(source);
    vcdiff::VCDiffStreamingDecoder decoder;
    decoder.StartDecoding(&counted);
    std::string target;
    const std::string delta = EncodeDelta(0, {window});
    ASSERT_TRUE(decoder.DecodeChunk(delta.data(), delta.size(), &target));
    ASSERT_TRUE(decoder.FinishDecoding());
    EXPECT_EQ(counted.reads(), 1u);
    EXPECT_EQ(counted.bytesRead(), 2u) << "only the in-source part is read from the source";
}

TEST(HandmadeDelta, OverlappingCopyRepeatsItsPattern) {
    TestWindow window;
    window.body.Add("a").Copy(10, 0, 0).Add("xyz").Copy(10, 1, 3).Add("pq").Copy(100001, 1, 2);
    std::string pattern;
    while (pattern.size() < 100001) {
        pattern += "pq";
    }
    pattern.resize(100001);
    const std::string expected = std::string(11, 'a') + "xyzxyzxyzxyzx" + "pq" + pattern;
    window.targetLength = expected.size();
    ExpectDecodes(EncodeDelta(0, {window}), "", expected);
}

TEST(HandmadeDelta, CachedAddressesResolveLikeTheirExplicitForm) {
    // Source: 1000 distinct-ish bytes; each COPY names address 300 or 700 another way.
    std::string source;
    for (int i = 0; i < 1000; ++i) {
        source.push_back(static_cast<char>('A' + (i * 7 + i / 26) % 26));
    }
    TestWindow window(kVcdSource, 1000);
    window.body
        .Copy(4, 0, 300)                      // SELF: 300; near[0] = 300, same[300] = 300
        .Copy(4, 0, 700)                      // near[1] = 700, same[700] = 700
        .Copy(4, 7, 300 - 256)                // SAME block 1 (256..511), byte 44 -> 300
        .Copy(4, 8, 700 - 512)                // SAME block 2 (512..767), byte 188 -> 700
        .Copy(4, 3, 5)                        // near[1] + 5 = 705
        .Copy(4, 1, 1000 + 20 - 2)            // HERE: here = 1000 + 20 -> address 2
        .Opcode(AddCopyOpcode(1, 4, 0) + 72)  // ADD 1 + COPY 4 in SAME mode 6 (opcode 235)
        .Data("!")
        .Address(6, 2);  // same[2] = 2
    std::string expected;
    for (size_t address : {300, 700, 300, 700, 705, 2}) {
        expected += source.substr(address, 4);
    }
    expected += "!" + source.substr(2, 4);
    window.targetLength = expected.size();
    ExpectDecodes(EncodeDelta(0, {window}), source, expected);
}

}  // namespace
}  // namespace vcdiff_test
