// Bad delta files, exceeded limits and calls out of order: the decoder refuses them with its
// exact message lines and never hands out a refused window.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/vcdiff/decode_helpers.h"
#include "tests/vcdiff/test_delta_writer.h"
#include "vcdiff/streaming_decoder.h"

namespace vcdiff_test {
namespace {

const std::string kSource = "0123456789";

std::string Delta(TestWindow window, char version = 0) { return EncodeDelta(version, {window}); }

TestWindow AddWindow(const std::string& bytes) {
    TestWindow window;
    window.body.Add(bytes);
    window.targetLength = bytes.size();
    return window;
}

struct BadDelta {
    const char* what;
    std::string delta;
    std::string errors;
    // The version byte is only looked at once four bytes are at hand.
    bool alsoBytewise = true;
};

std::vector<BadDelta> BadHeaders() {
    TestWindow both = AddWindow("x");
    both.winIndicator = kVcdSource | kVcdTarget;
    TestWindow compressed = AddWindow("x");
    compressed.deltaIndicator = 0x01;
    TestWindow mismatch = AddWindow("x");
    mismatch.deltaEncodingLength = 100;
    const std::string badVarint = FileHeader(0) + std::string("\x00\x85\x85\x85\x85\x85", 6);
    TestWindow bigChecksum = AddWindow("x");
    bigChecksum.winIndicator = kVcdChecksum;
    bigChecksum.checksum = uint64_t{1} << 32;

    return {
        {"version before magic", std::string("\x00\x00\x00\x07", 4),
         "ERROR: Unrecognized VCDIFF format version\n", false},
        {"magic", std::string("\xD6\x00", 2),
         "ERROR: Did not find VCDIFF header bytes; input is not a VCDIFF delta file\n"},
        {"secondary compression named first", FileHeader(0, 0x03),
         "ERROR: Secondary compression is not supported\n"},
        {"code table", FileHeader(0, 0x02), "ERROR: App-defined codetable is not supported\n"},
        {"both segment flags", Delta(both),
         "ERROR: Win_Indicator must not have both VCD_SOURCE and VCD_TARGET set\n"},
        {"section compression", Delta(compressed),
         "ERROR: Secondary compression of delta file sections is not supported\n"},
        {"encoding length", Delta(mismatch),
         "ERROR: The length of the delta encoding does not match the size of the header plus the "
         "sizes of the data sections\n"},
        {"invalid integer", badVarint,
         "ERROR: Expected length of the delta encoding; found invalid variable-length integer\n"},
        {"checksum too large", Delta(bigChecksum, 'S'),
         "ERROR: Value of Adler32 checksum value(4294967296) is too large for unsigned 32-bit "
         "integer\n"},
    };
}

TEST(DecoderErrors, BadHeadersAreRefusedWithTheirMessage) {
    for (const BadDelta& bad : BadHeaders()) {
        SCOPED_TRACE(bad.what);
        for (size_t piece : {size_t{0}, size_t{1}}) {
            if (piece == 1 && !bad.alsoBytewise) {
                continue;
            }
            const DecodeOutcome outcome = Decode(bad.delta, kSource, {.pieceSize = piece});
            EXPECT_FALSE(outcome.chunksAccepted);
            EXPECT_EQ(outcome.errors, bad.errors);
            EXPECT_EQ(outcome.target, "");
        }
    }
}

TEST(DecoderErrors, SourceSegmentMustLieInsideTheSource) {
    auto segment = [](uint64_t length, uint64_t position) {
        TestWindow window(kVcdSource, length, position);
        window.body.Add("x");
        window.targetLength = 1;
        return Delta(window);
    };
    EXPECT_EQ(Decode(segment(0, 10), kSource).target, "x") << "empty segment at the very end";
    EXPECT_EQ(Decode(segment(1, 10), kSource).errors,
              "ERROR: Source segment position (10) is past end of dictionary (10)\n");
    EXPECT_EQ(Decode(segment(11, 0), kSource).errors,
              "ERROR: Source segment length (11) is larger than dictionary (10)\n");
    EXPECT_EQ(Decode(segment(4, 7), kSource).errors,
              "ERROR: Source segment end position (11) is past end of dictionary (10)\n");
    EXPECT_EQ(Decode(segment(4, 6), kSource).target, "x");

    TestWindow fromTarget(kVcdTarget, 3);
    fromTarget.body.Add("x");
    fromTarget.targetLength = 1;
    EXPECT_EQ(
        Decode(EncodeDelta(0, {AddWindow("ab"), fromTarget}), kSource, {.allowVcdTarget = true})
            .errors,
        "ERROR: Source segment length (3) is larger than target file (2)\n");
}

TEST(DecoderErrors, BadInstructionsAreRefusedWithTheirMessage) {
    auto body = [](uint64_t targetLength, uint64_t segmentLength) {
        TestWindow window(segmentLength > 0 ? kVcdSource : 0, segmentLength);
        window.targetLength = targetLength;
        return window;
    };
    std::vector<BadDelta> cases;
    TestWindow w = body(4, 0);
    w.body.Add("abcde");
    cases.push_back({"too long", Delta(w),
                     "ERROR: ADD with size 5 plus existing 0 bytes of target data exceeds length "
                     "of target window (4 bytes)\n"});
    w = body(4, 0);
    w.body.Opcode(kOpAdd).Size(4).Data("ab");
    cases.push_back({"data missing", Delta(w),
                     "ERROR: End of data reached while decoding VCDIFF delta file\n"});
    w = body(4, 0);
    w.body.Add("ab");
    cases.push_back({"instructions missing", Delta(w),
                     "ERROR: End of data reached while decoding VCDIFF delta file\n"});
    TestWindow interleaved(0, 0, 0, true);
    interleaved.targetLength = 10;
    interleaved.body.Opcode(kOpAdd).Size(10).Data("abc");
    cases.push_back({"interleaved data missing", EncodeDelta('S', {interleaved, AddWindow("x")}),
                     "ERROR: End of data reached while decoding VCDIFF delta file\n"});
    w = body(2, 0);
    w.body.Add("ab").Add("c");
    cases.push_back({"excess instructions", Delta(w),
                     "ERROR: Excess instructions and sizes left over after decoding target "
                     "window\n"});
    w = body(2, 0);
    w.body.Add("ab").Data("z");
    cases.push_back({"excess data", Delta(w),
                     "ERROR: Excess ADD/RUN data left over after decoding target window\n"});
    w = body(6, 4);
    w.body.Copy(6, 0, 0).Address(0, 1);
    cases.push_back({"excess addresses", Delta(w),
                     "ERROR: Excess COPY addresses left over after decoding target window\n"});
    w = body(6, 2);
    w.body.Add("ab").Copy(4, 0, 4);
    cases.push_back({"address at here", Delta(w),
                     "ERROR: Decoded address (4) is beyond location in target file (4)\n"
                     "ERROR: Unable to decode address for COPY\n"});
    w = body(6, 2);
    w.body.Add("ab").Copy(4, 1, 5);
    cases.push_back({"address below zero", Delta(w),
                     "ERROR: Decoded address -1 is invalid\nERROR: Unable to decode address for "
                     "COPY\n"});
    w = body(6, 2);
    w.body.Add("ab").Opcode(CopyOpcode(0)).Size(4);
    w.body.addresses = "\xFF\xFF\xFF\xFF\x7F";
    cases.push_back({"address integer", Delta(w),
                     "ERROR: Found invalid variable-length integer as encoded address value\n"
                     "ERROR: Unable to decode address for COPY\n"});
    w = body(6, 0);
    w.body.Opcode(kOpAdd).RawInstructionBytes("\xFF\xFF\xFF\xFF\x7F");
    cases.push_back({"size integer", Delta(w),
                     "ERROR: Instruction size is not a valid variable-length integer\n"});

    for (const BadDelta& bad : cases) {
        SCOPED_TRACE(bad.what);
        const DecodeOutcome outcome = Decode(bad.delta, "abcd");
        EXPECT_FALSE(outcome.chunksAccepted);
        EXPECT_EQ(outcome.errors, bad.errors);
        EXPECT_EQ(outcome.target, "");
    }
}

// A one-byte window with a checksum whose checksum field starts with `zeros` 0x80 bytes.
std::string ChecksumAfterZeros(size_t zeros) {
    TestWindow window = AddWindow("x");
    window.winIndicator = kVcdChecksum;
    window.checksum = Adler32FromZero("x");
    // Unpadded, the window is its indicator, a one-byte length and the delta encoding.
    window.deltaEncodingLength = EncodeWindow(window).size() - 2 + zeros;
    std::string encoded = EncodeWindow(window);
    const size_t bodySize =
        window.body.data.size() + window.body.instructions.size() + window.body.addresses.size();
    encoded.insert(encoded.size() - bodySize - Varint(*window.checksum).size(),
                   std::string(zeros, '\x80'));
    return FileHeader('S') + encoded;
}

TEST(DecoderErrors, IntegerLongerThanItsLongestEncodingIsRefusedAtOnce) {
    struct Case {
        const char* what;
        std::function<std::string(size_t zeros)> delta;  // an integer behind `zeros` 0x80 bytes
        size_t zerosAllowed;  // up to 5 bytes for a 31-bit integer, 10 for the checksum
        std::string target;
        std::string errors;
    };
    const std::vector<Case> cases = {
        {"window header",
         [](size_t zeros) {
             std::string delta = Delta(AddWindow("x"));
             return delta.insert(6, zeros, '\x80');  // before the length of the delta encoding
         },
         4, "x",
         "ERROR: Expected length of the delta encoding; found invalid variable-length integer\n"},
        {"checksum", ChecksumAfterZeros, 6, "x",  // its value takes 4 bytes
         "ERROR: Expected Adler32 checksum value; found invalid variable-length integer\n"},
        {"interleaved instruction size",
         [](size_t zeros) {
             TestWindow window(0, 0, 0, true);
             window.body.Opcode(kOpAdd).RawInstructionBytes(std::string(zeros, '\x80') + "\x03");
             window.body.Data("abc");
             window.targetLength = 3;
             return Delta(window, 'S');
         },
         4, "abc", "ERROR: Instruction size is not a valid variable-length integer\n"},
        {"interleaved address",
         [](size_t zeros) {
             TestWindow window(kVcdSource, 4, 0, true);
             window.body.Opcode(CopyOpcode(0)).Size(4);
             window.body.RawInstructionBytes(std::string(zeros, '\x80') + '\0');
             window.targetLength = 4;
             return Delta(window, 'S');
         },
         4, "abcd",
         "ERROR: Found invalid variable-length integer as encoded address value\n"
         "ERROR: Unable to decode address for COPY\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodeOutcome longest = Decode(c.delta(c.zerosAllowed), "abcd");
        EXPECT_TRUE(longest.finished);
        EXPECT_EQ(longest.target, c.target);

        const DecodeOutcome oneTooMany = Decode(c.delta(c.zerosAllowed + 1), "abcd");
        EXPECT_FALSE(oneTooMany.chunksAccepted);
        EXPECT_EQ(oneTooMany.errors, c.errors);

        // Waiting for the end of such an integer would parse it afresh with every piece.
        const DecodeOutcome flood = Decode(c.delta(8 << 20), "abcd", {.pieceSize = 4096});
        EXPECT_FALSE(flood.chunksAccepted);
        EXPECT_EQ(flood.bytesFed, 4096u) << "refused within the first piece";
        EXPECT_EQ(flood.errors, c.errors);
        EXPECT_EQ(flood.target, "");
    }
}

TEST(DecoderErrors, HereAddressModeReachesBackToZeroExactly) {
    TestWindow window(kVcdSource, 4);
    window.body.Add("ab").Copy(4, 1, 6);
    window.targetLength = 6;
    EXPECT_EQ(Decode(Delta(window), "wxyz").target, "abwxyz");
}

TEST(DecoderErrors, SectionLengthsThatOnlyMatchModulo32BitsAreRefused) {
    // D + I + A wraps to the header's own length in 32-bit arithmetic.
    std::string window = std::string("\x00", 1) + Varint(8) + Varint(1) + std::string("\x00", 1) +
                         Varint(0x7FFFFFFF) + Varint(0x7FFFFFFF) + Varint(2);
    window[1] = static_cast<char>(window.size() - 2);
    const DecodeOutcome outcome = Decode(FileHeader(0) + window + "ab", kSource);
    EXPECT_FALSE(outcome.chunksAccepted);
    EXPECT_EQ(outcome.errors,
              "ERROR: The length of the delta encoding does not match the size of the header plus "
              "the sizes of the data sections\n");
}

TEST(DecoderLimits, TargetWindowOfExactlyTheMaximumPasses) {
    TestWindow window;
    window.body.Run(1000, 'r');
    window.targetLength = 1000;
    EXPECT_EQ(Decode(Delta(window), "", {.maximumWindowSize = 1000}).target,
              std::string(1000, 'r'));
    EXPECT_EQ(Decode(Delta(window), "", {.maximumWindowSize = 999}).errors,
              "ERROR: Length of target window (1000) exceeds limit of 999 bytes\n");

    window.body = WindowBody();
    window.body.Run(0x4000000, 'r');
    window.targetLength = 0x4000000;
    EXPECT_EQ(Decode(Delta(window), "").target.size(), 0x4000000u) << "the default limit";
    window.targetLength = 0x4000001;
    EXPECT_EQ(Decode(Delta(window), "").errors,
              "ERROR: Length of target window (67108865) exceeds limit of 67108864 bytes\n");
}

TEST(DecoderLimits, TotalOfWindowsIsLimitedByTheMaximumFileSize) {
    const std::string delta =
        EncodeDelta(0, {AddWindow(std::string(60, 'a')), AddWindow(std::string(40, 'b')),
                        TestWindow(), AddWindow("c")});
    const DecodeOutcome outcome = Decode(delta, "", {.maximumFileSize = 100});
    EXPECT_FALSE(outcome.chunksAccepted);
    EXPECT_EQ(outcome.target.size(), 100u);
    EXPECT_EQ(outcome.errors,
              "ERROR: Length of target window (1 bytes) plus previous windows (100 bytes) would "
              "exceed maximum target file size of 100 bytes\n");
}

// A source whose size says 2 GiB but that holds nothing: enough to reach here addresses past
// the signed 32-bit range without reading.
class HugeEmptySource {
public:
    void ReadRange(std::string* out, size_t, size_t length) { out->append(length, '\0'); }
    uint64_t GetLength() const { return 0x7FFFFFFF; }
};

TEST(DecoderLimits, HereAddressPastTheSigned32BitRangeFailsCleanly) {
    TestWindow window(kVcdSource, 0x7FFFFFFF);
    window.body.Add("a").Copy(4, 0, 0);
    window.targetLength = 5;
    const std::string delta = Delta(window);
    HugeEmptySource source;
    vcdiff::VCDiffStreamingDecoder decoder;
    decoder.StartDecoding(&source);
    std::string target;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(decoder.DecodeChunk(delta.data(), delta.size(), &target));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "FATAL: DecodeAddress was passed a negative value for here_address: -2147483648\n"
              "ERROR: Unable to decode address for COPY\n");
    EXPECT_TRUE(vcdiff::FatalErrorOccurred());
}

TEST(DecoderCallingOrder, MisuseIsReportedAndAnsweredWithFailure) {
    const std::string delta = EncodeDelta(0, {AddWindow("abc")});
    StringSource first("first");
    StringSource second("second");
    std::string target;

    vcdiff::VCDiffStreamingDecoder decoder;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(decoder.DecodeChunk(delta.data(), delta.size(), &target));
    EXPECT_FALSE(decoder.FinishDecoding());
    EXPECT_TRUE(decoder.SetMaximumTargetWindowSize(0x7FFFFFFF));
    EXPECT_FALSE(decoder.SetMaximumTargetWindowSize(0x80000000));
    decoder.StartDecoding(&first);
    decoder.SetAllowVcdTarget(false);
    decoder.StartDecoding(&second);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "FATAL: DecodeChunk() called without StartDecoding()\n"
              "WARNING: FinishDecoding() called before StartDecoding(), or called after "
              "DecodeChunk() returned false\n"
              "ERROR: Specified maximum target window size 2147483648 exceeds limit of "
              "2147483647 bytes\n"
              "FATAL: SetAllowVcdTarget() called after StartDecoding()\n"
              "FATAL: StartDecoding() called twice without FinishDecoding()\n");
    EXPECT_TRUE(vcdiff::FatalErrorOccurred());

    // Decoding goes on with the first source, and VCD_TARGET stays allowed.
    TestWindow fromSource(kVcdSource, 5);
    fromSource.body.Copy(5, 0, 0);
    fromSource.targetLength = 5;
    TestWindow fromTarget(kVcdTarget, 2, 1);
    fromTarget.body.Copy(2, 0, 0);
    fromTarget.targetLength = 2;
    const std::string good = EncodeDelta(0, {fromSource, fromTarget});
    ASSERT_TRUE(decoder.DecodeChunk(good.data(), good.size(), &target));
    EXPECT_TRUE(decoder.FinishDecoding());
    EXPECT_EQ(target, "firstir");
}

TEST(DecoderCallingOrder, RefusedDecoderStaysRefused) {
    StringSource source("abc");
    vcdiff::VCDiffStreamingDecoder decoder;
    decoder.StartDecoding(&source);
    std::string target;
    const std::string bad = "\xD6\xC3\xC5";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(decoder.DecodeChunk(bad.data(), bad.size(), &target));
    EXPECT_FALSE(decoder.DecodeChunk("", 0, &target));
    EXPECT_FALSE(decoder.FinishDecoding());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Did not find VCDIFF header bytes; input is not a VCDIFF delta file\n"
              "FATAL: DecodeChunk() called without StartDecoding()\n"
              "WARNING: FinishDecoding() called before StartDecoding(), or called after "
              "DecodeChunk() returned false\n");
}

TEST(DecoderCallingOrder, StartWithoutSourceSeesAnEmptySource) {
    TestWindow fromSource(kVcdSource, 1);
    fromSource.body.Copy(1, 0, 0);
    fromSource.targetLength = 1;
    const std::string delta = EncodeDelta(0, {AddWindow("abc"), fromSource});
    vcdiff::VCDiffStreamingDecoder decoder;
    decoder.SetAllowVcdTarget(false);
    decoder.StartDecoding();
    std::string target;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(decoder.DecodeChunk(delta.data(), delta.size(), &target));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: Source segment length (1) is larger than dictionary (0)\n");
    EXPECT_EQ(target, "abc");
}

}  // namespace
}  // namespace vcdiff_test
