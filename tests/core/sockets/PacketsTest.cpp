// The read packet's length rules and terminator searches, and the pre-buffer.
#include "core/sockets/GCDAsyncReadPacket.h"
#include "core/sockets/GCDAsyncSocketPreBuffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace orv {
namespace {

Bytes bytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

TEST(PreBufferTest, GrowingKeepsUnreadBytesAndEmptyingRewinds)
{
    GCDAsyncSocketPreBuffer buffer(4);
    std::memcpy(buffer.writeBuffer(), "abcd", 4);
    buffer.didWrite(4);
    buffer.didRead(2);
    EXPECT_EQ(buffer.availableSpace(), 0u);

    buffer.ensureCapacityForWrite(3);
    EXPECT_GE(buffer.availableSpace(), 3u);
    ASSERT_EQ(buffer.availableBytes(), 2u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.readBuffer()), 2), "cd");

    std::memcpy(buffer.writeBuffer(), "efg", 3);
    buffer.didWrite(3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.readBuffer()), 5), "cdefg");

    // Handing out the last byte rewinds both positions, so the whole block is
    // free again without growing.
    const size_t capacity = buffer.capacity();
    buffer.didRead(5);
    EXPECT_EQ(buffer.availableBytes(), 0u);
    EXPECT_EQ(buffer.availableSpace(), capacity);
}

struct TermCase {
    const char* name;
    std::string alreadyRead;  // bytes the read holds already
    std::string preBuffered;
    std::string term;
    size_t maxLength;
    size_t expectedLength;  // pre-buffered bytes to move into the read
    bool expectedFound;
};

class TermSearchTest : public ::testing::TestWithParam<TermCase> {};

TEST_P(TermSearchTest, FindsHowManyPreBufferedBytesBelongToTheRead)
{
    const TermCase& c = GetParam();
    GCDAsyncReadPacket packet(nullptr, 0, c.maxLength, -1, 0, bytes(c.term), 7);
    packet.ensureCapacityForAdditionalDataOfLength(c.alreadyRead.size());
    if (!c.alreadyRead.empty())
        std::memcpy(packet.writePosition(), c.alreadyRead.data(), c.alreadyRead.size());
    packet.bytesDone = c.alreadyRead.size();

    GCDAsyncSocketPreBuffer preBuffer(16);
    preBuffer.ensureCapacityForWrite(c.preBuffered.size());
    if (!c.preBuffered.empty())
        std::memcpy(preBuffer.writeBuffer(), c.preBuffered.data(), c.preBuffered.size());
    preBuffer.didWrite(c.preBuffered.size());

    bool found = !c.expectedFound;
    EXPECT_EQ(packet.readLengthForTermWithPreBuffer(preBuffer, &found), c.expectedLength);
    EXPECT_EQ(found, c.expectedFound);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TermSearchTest,
    ::testing::Values(
        TermCase{"AtStart", "", "\r\nrest", "\r\n", 0, 2, true},
        TermCase{"InTheMiddle", "", "line\r\nnext", "\r\n", 0, 6, true},
        TermCase{"SplitAcrossReadAndPreBuffer", "line\r", "\nnext", "\r\n", 0, 1, true},
        TermCase{"LongTermSplitTwoBack", "xxAB", "CDyy", "ABCD", 0, 2, true},
        TermCase{"NotThere", "", "abcdef", "\r\n", 0, 6, false},
        TermCase{"TooFewBytesToHoldIt", "", "a", "abc", 0, 1, false},
        TermCase{"MaximumCapsTheSearch", "", "abcdefgh\r\n", "\r\n", 6, 6, false},
        TermCase{"MaximumCountsBytesAlreadyRead", "abcd", "ef\r\n", "\r\n", 8, 4, true},
        TermCase{"OnlyTheFirstTerminatorCounts", "", "a\nb\nc", "\n", 0, 2, true}),
    [](const ::testing::TestParamInfo<TermCase>& info) { return info.param.name; });

struct DirectCase {
    const char* name;
    std::string alreadyRead;
    std::string newBytes;
    std::string term;
    ssize_t expectedOverflow;
};

class DirectTermSearchTest : public ::testing::TestWithParam<DirectCase> {};

TEST_P(DirectTermSearchTest, CountsTheBytesAfterTheTerminator)
{
    const DirectCase& c = GetParam();
    GCDAsyncReadPacket packet(nullptr, 0, 0, -1, 0, bytes(c.term), 0);
    const std::string all = c.alreadyRead + c.newBytes;
    packet.ensureCapacityForAdditionalDataOfLength(all.size());
    std::memcpy(packet.writePosition(), all.data(), all.size());
    packet.bytesDone = c.alreadyRead.size();
    EXPECT_EQ(packet.searchForTermAfterPreBuffering(c.newBytes.size()), c.expectedOverflow);
}

INSTANTIATE_TEST_SUITE_P(Cases, DirectTermSearchTest,
                         ::testing::Values(DirectCase{"EndsWithTerminator", "", "abc\r\n", "\r\n", 0},
                                           DirectCase{"BytesFollow", "", "ab\r\ncd", "\r\n", 2},
                                           DirectCase{"SplitWithEarlierBytes", "ab\r", "\ncd", "\r\n", 2},
                                           DirectCase{"Absent", "ab", "cd", "\r\n", -1},
                                           // A terminator wholly inside the earlier bytes was already
                                           // searched for; only new positions count.
                                           DirectCase{"OnlyNewPositions", "a\r\nb", "cd", "\r\n", -1}),
                         [](const ::testing::TestParamInfo<DirectCase>& info) { return info.param.name; });

TEST(ReadPacketTest, LengthRulesByKindOfRead)
{
    GCDAsyncReadPacket length(nullptr, 0, 0, -1, 10, std::nullopt, 0);
    length.bytesDone = 4;
    bool preBuffer = true;
    EXPECT_EQ(length.readLengthForNonTermWithHint(100), 6u);  // never past its length
    EXPECT_EQ(length.optimalReadLengthWithDefault(32768, &preBuffer), 6u);
    EXPECT_FALSE(preBuffer);

    GCDAsyncReadPacket available(nullptr, 0, 8, -1, 0, std::nullopt, 0);
    EXPECT_EQ(available.readLengthForNonTermWithHint(100), 8u);  // capped at the maximum
    EXPECT_EQ(available.optimalReadLengthWithDefault(32768, &preBuffer), 8u);
    EXPECT_TRUE(preBuffer);  // its own buffer has no room yet

    // A caller's buffer with room takes the bytes directly.
    auto callerBuffer = std::make_shared<Bytes>(64);
    GCDAsyncReadPacket term(callerBuffer, 4, 0, -1, 0, bytes("\n"), 0);
    EXPECT_EQ(term.readLengthForTermWithHint(20, &preBuffer), 20u);
    EXPECT_FALSE(preBuffer);
    EXPECT_EQ(term.readLengthForTermWithHint(61, &preBuffer), 61u);
    EXPECT_TRUE(preBuffer);
}

}  // namespace
}  // namespace orv
