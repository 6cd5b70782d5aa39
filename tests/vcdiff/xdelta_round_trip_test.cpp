// Deltas made by xdelta3 decode back to the file they were made from, whatever the piece size.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "tests/vcdiff/decode_helpers.h"
#include "tests/vcdiff/test_data.h"

namespace vcdiff_test {
namespace {

struct Case {
    std::string old;
    std::string now;
    std::string delta;
};

Case MakeCase(std::string old, std::string now) {
    ScratchDir dir;
    std::string delta = Xdelta3Encode(dir, old, now);
    return {std::move(old), std::move(now), std::move(delta)};
}

void ExpectRoundTrip(const Case& c, size_t pieceSize) {
    SCOPED_TRACE("piece size " + std::to_string(pieceSize));
    const DecodeOutcome outcome = Decode(c.delta, c.old, {.pieceSize = pieceSize});
    EXPECT_TRUE(outcome.chunksAccepted) << outcome.errors;
    EXPECT_TRUE(outcome.finished) << outcome.errors;
    EXPECT_EQ(outcome.errors, "");
    ASSERT_EQ(outcome.target.size(), c.now.size());
    EXPECT_TRUE(outcome.target == c.now) << "decoded bytes differ";
}

class XdeltaRoundTrip : public testing::Test {
protected:
    void SetUp() override {
        if (!Xdelta3Available()) {
            GTEST_SKIP() << "xdelta3 is not installed (scripts/install-deps.sh installs it)";
        }
    }
};

TEST_F(XdeltaRoundTrip, SmallTextEditDecodesInAnyPieceSize) {
    std::string old = WordText(1, 40000);
    std::string now = old;
    now.replace(12000, 40, "a sentence that was not there before, and a little more");
    const Case c = MakeCase(old, now);
    for (size_t piece : {size_t{0}, size_t{4096}, size_t{7}, size_t{1}}) {
        ExpectRoundTrip(c, piece);
    }
}

// Several windows, COPYs reaching far back into the old file and a COPY as long as a window.
TEST_F(XdeltaRoundTrip, LargeEditedBinaryFile) {
    const std::string old = RandomBytes(2, 30 << 20);
    const Case c = MakeCase(old, EditBlocks(old, 3, 60));
    ASSERT_LT(c.delta.size(), c.now.size() / 4) << "the fixture should mostly copy";
    for (size_t piece : {size_t{0}, size_t{4096}, size_t{7}}) {
        ExpectRoundTrip(c, piece);
    }
}

// One byte in seven changed: the delta uses every address mode and paired opcodes.
TEST_F(XdeltaRoundTrip, DenseSmallChangesUseEveryAddressMode) {
    const std::string old = WordText(4, 120000);
    const Case c = MakeCase(old, ChangeEveryNthByte(old, 7));

    ScratchDir dir;
    WriteFileBytes(dir.Path("delta"), c.delta);
    const std::string listing = "xdelta3 printdelta '" + dir.Path("delta") + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(listing.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    std::string text;
    char buffer[65536];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) {
        text.append(buffer, n);
    }
    std::set<char> modes;
    for (size_t at = text.find("CPY_"); at != std::string::npos; at = text.find("CPY_", at + 4)) {
        modes.insert(text[at + 4]);
    }
    EXPECT_EQ(modes.size(), 9u) << "fixture no longer covers all nine address modes";
    EXPECT_NE(text.find("ADD", text.find("CPY_")), std::string::npos);

    for (size_t piece : {size_t{0}, size_t{4096}, size_t{7}, size_t{1}}) {
        ExpectRoundTrip(c, piece);
    }
}

TEST_F(XdeltaRoundTrip, DegenerateFiles) {
    const std::string text = WordText(5, 50000);
    const Case emptyOld = MakeCase("", text);
    const Case identical = MakeCase(text, text);
    const Case emptyNew = MakeCase(text, "");
    for (const Case* c : {&emptyOld, &identical, &emptyNew}) {
        for (size_t piece : {size_t{0}, size_t{4096}, size_t{1}}) {
            ExpectRoundTrip(*c, piece);
        }
    }
}

}  // namespace
}  // namespace vcdiff_test
