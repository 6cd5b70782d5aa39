// How pieces of a delta file turn into output: what is held back, what is handed out and
// announced, and when the end of the input is complete.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/vcdiff/decode_helpers.h"
#include "tests/vcdiff/test_delta_writer.h"
#include "vcdiff/streaming_decoder.h"

namespace vcdiff_test {
namespace {

using Calls = std::vector<std::string>;

std::string StandardDelta() {
    TestWindow first(kVcdSource, 10);
    first.body.Add("head:").Copy(10, 0, 0);
    first.targetLength = 15;
    TestWindow second;
    second.body.Run(6, '-').Add("tail");
    second.targetLength = 10;
    return EncodeDelta(0, {first, second});
}

// One interleaved window of 20 bytes: ADD 8, RUN 4, ADD 8.
std::string InterleavedDelta() {
    TestWindow window(0, 0, 0, true);
    window.body.Add("abcdefgh").Run(4, '.').Add("ijklmnop");
    window.targetLength = 20;
    return EncodeDelta('S', {window});
}

class Streaming : public testing::Test {
protected:
    void SetUp() override {
        decoder.SetAllowVcdTarget(false);
        decoder.StartDecoding(&source);
    }
    bool Feed(const std::string& bytes) {
        return decoder.DecodeChunkToInterface(bytes.data(), bytes.size(), &output);
    }

    StringSource source{"0123456789"};
    vcdiff::VCDiffStreamingDecoder decoder;
    RecordingOutput output;
};

TEST_F(Streaming, StandardWindowIsHeldUntilItsLastByteArrives) {
    const std::string delta = StandardDelta();
    const size_t firstWindowEnd = delta.find("tail") - 4;  // inside the second window
    ASSERT_TRUE(Feed(delta.substr(0, 12)));
    EXPECT_EQ(output.calls, Calls{}) << "nothing of an incomplete standard window";
    ASSERT_TRUE(Feed(""));
    EXPECT_EQ(output.calls, Calls{});
    ASSERT_TRUE(Feed(delta.substr(12, firstWindowEnd - 12)));
    EXPECT_EQ(output.bytes, "head:0123456789");
    ASSERT_TRUE(Feed(delta.substr(firstWindowEnd)));
    EXPECT_EQ(output.bytes, "head:0123456789------tail");
    EXPECT_EQ(output.calls, (Calls{"append 15", "append 10"})) << "no announcement needed";
    EXPECT_TRUE(decoder.FinishDecoding());
}

TEST_F(Streaming, InterleavedWindowIsHandedOutAsItArrivesAndAnnouncesTheRest) {
    const std::string delta = InterleavedDelta();
    // After the headers: ADD opcode, size, 8 bytes; RUN opcode, size, byte; ADD opcode, size...
    // The first piece ends before the RUN's byte, the second inside the last ADD's data.
    const size_t headers = delta.find("abcdefgh") - 2;
    ASSERT_TRUE(Feed(delta.substr(0, headers + 12)));
    EXPECT_EQ(output.bytes, "abcdefgh");
    EXPECT_EQ(output.calls, (Calls{"reserve 20", "append 8"}));
    ASSERT_TRUE(Feed(delta.substr(headers + 12, 4)));
    EXPECT_EQ(output.bytes, "abcdefgh....");
    EXPECT_EQ(output.calls, (Calls{"reserve 20", "append 8", "reserve 12", "append 4"}));
    ASSERT_TRUE(Feed(delta.substr(headers + 16)));
    EXPECT_EQ(output.bytes, "abcdefgh....ijklmnop");
    EXPECT_EQ(output.calls.back(), "append 8");
    EXPECT_TRUE(decoder.FinishDecoding());
}

TEST_F(Streaming, CutInsideStandardWindowOutputsNothingOfIt) {
    const std::string delta = StandardDelta();
    std::string cut = delta.substr(0, delta.size() - 2);
    testing::internal::CaptureStderr();
    for (char byte : cut) {
        ASSERT_TRUE(Feed(std::string(1, byte)));
    }
    EXPECT_EQ(output.bytes, "head:0123456789") << "only the complete first window";
    EXPECT_FALSE(decoder.FinishDecoding());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: FinishDecoding() called before parsing entire delta file window\n");
}

TEST_F(Streaming, CutInsideInterleavedWindowOutputsTheDecodedPart) {
    const std::string delta = InterleavedDelta();
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Feed(delta.substr(0, delta.size() - 3)));
    EXPECT_EQ(output.bytes, "abcdefgh....");
    EXPECT_FALSE(decoder.FinishDecoding());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: FinishDecoding() called before parsing entire delta file window\n");
}

TEST(StreamingEnds, CompletenessDependsOnWhereTheInputStops) {
    struct Case {
        std::string input;
        bool finished;
    };
    const std::string header = FileHeader(0);
    for (const Case& c : {Case{"", true}, Case{header, true}, Case{FileHeader('S'), true},
                          Case{"\xD6\xC3\xC4", false}, Case{"\xD6\xC3\xC4S", false},
                          Case{header + std::string(1, '\0'), false}, Case{StandardDelta(), true},
                          Case{StandardDelta() + std::string(1, '\0'), false}}) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        for (size_t piece : {size_t{0}, size_t{1}}) {
            const DecodeOutcome outcome = Decode(c.input, "0123456789", {.pieceSize = piece});
            EXPECT_TRUE(outcome.chunksAccepted);
            EXPECT_EQ(outcome.finished, c.finished);
            EXPECT_EQ(outcome.errors,
                      c.finished ? ""
                                 : "ERROR: FinishDecoding() called before parsing entire delta "
                                   "file window\n");
        }
    }
}

TEST(StreamingEnds, WindowWithInstructionsStillToComeIsNotDecodedEarly) {
    // A zero-length interleaved window whose instruction bytes are cut off after the header
    // fails as "excess instructions" whatever the piece size, never skipping them as a header.
    TestWindow window(0, 0, 0, true);
    window.body.Add("x");
    window.targetLength = 0;
    const std::string delta = EncodeDelta('S', {window, window});
    for (size_t piece : {size_t{0}, size_t{1}}) {
        const DecodeOutcome outcome = Decode(delta, "", {.pieceSize = piece});
        EXPECT_FALSE(outcome.chunksAccepted);
        EXPECT_EQ(outcome.errors,
                  "ERROR: Excess instructions and sizes left over after decoding target window\n");
    }
}

}  // namespace
}  // namespace vcdiff_test
