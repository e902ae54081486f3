// Writing: whole and partial writes, order, timeouts, and writing to a peer
// that has gone.
#include "SocketTestSupport.h"

#include <csignal>

namespace orv::test {
namespace {

class WriteTest : public SocketTest {
protected:
    // A peer that reads slowly: a small receive buffer fills quickly.
    Listener listener{AF_INET, 16, 4096};
};

TEST_F(WriteTest, SmallWriteGoesOutWholeWithOneCallback)
{
    Peer peer = connectToPeer(listener);
    sock->writeData(bytesOf("123456789"), -1, 42);
    EXPECT_EQ(textOf(peer.receive(9)), "123456789");
    auto written = delegate->waitFor(SocketEvent::Write);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->tag, 42);
    drain();
    EXPECT_EQ(delegate->count(SocketEvent::WritePartial), 0u);
}

TEST_F(WriteTest, LargeWriteArrivesIntactWithProgressOnTheWay)
{
    Peer peer = connectToPeer(listener);
    const Bytes data = patternBytes(8 * 1024 * 1024);
    sock->writeData(std::make_shared<const Bytes>(data), -1, 1);
    const Bytes received = peer.receive(data.size(), 60s);
    ASSERT_EQ(received.size(), data.size());
    EXPECT_TRUE(received == data);

    ASSERT_TRUE(delegate->waitFor(SocketEvent::Write));
    drain();
    size_t partialTotal = 0;
    for (const auto& e : delegate->eventsOf(SocketEvent::WritePartial)) {
        EXPECT_EQ(e.tag, 1);
        partialTotal += e.length;
    }
    EXPECT_GT(delegate->count(SocketEvent::WritePartial), 0u);
    EXPECT_LT(partialTotal, data.size());  // the last piece is reported as the completion
    EXPECT_EQ(delegate->count(SocketEvent::Write), 1u);
}

TEST_F(WriteTest, WritesCompleteInOrderAndEmptyOnesAreDropped)
{
    Peer peer = connectToPeer(listener);
    sock->writeData(Bytes(), -1, 0);
    sock->writeData(bytesOf("first,"), -1, 1);
    sock->writeData(std::shared_ptr<const Bytes>(), -1, 2);
    sock->writeData(bytesOf("second"), -1, 3);
    EXPECT_EQ(textOf(peer.receive(12)), "first,second");
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Write, 2));
    auto writes = delegate->eventsOf(SocketEvent::Write);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].tag, 1);
    EXPECT_EQ(writes[1].tag, 3);
}

TEST_F(WriteTest, WritesQueuedBeforeTheConnectionGoOutOnceItIsUp)
{
    ASSERT_TRUE(sock->connectToHost("localhost", listener.port(), -1.0));
    sock->writeData(bytesOf("queued early"), -1, 1);
    Peer peer = listener.accept();
    EXPECT_EQ(textOf(peer.receive(12)), "queued early");
}

TEST_F(WriteTest, WriteTimeoutWithoutExtensionClosesWithCode5)
{
    Peer peer = connectToPeer(listener);
    delegate->writeTimeoutAnswers = {0.0};
    // Far more than the two kernel buffers hold while nobody reads.
    sock->writeData(std::make_shared<const Bytes>(64 * 1024 * 1024, 'x'), 0.3, 8);
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    ASSERT_TRUE(disconnected->error);
    EXPECT_EQ(disconnected->error->code, GCDAsyncSocketWriteTimeoutError);
    EXPECT_EQ(disconnected->error->message, "Write operation timed out");
    auto question = delegate->waitFor(SocketEvent::WriteTimeout);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->tag, 8);
    EXPECT_DOUBLE_EQ(question->elapsed, 0.3);
    EXPECT_EQ(delegate->count(SocketEvent::Write), 0u);
}

TEST_F(WriteTest, ExtendedWriteCompletesOnceThePeerReads)
{
    Peer peer = connectToPeer(listener);
    const Bytes data = patternBytes(16 * 1024 * 1024, 3);
    delegate->writeTimeoutAnswers = {30.0};
    sock->writeData(std::make_shared<const Bytes>(data), 0.2, 1);
    ASSERT_TRUE(delegate->waitFor(SocketEvent::WriteTimeout));
    const Bytes received = peer.receive(data.size(), 60s);
    EXPECT_TRUE(received == data);
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Write));
    EXPECT_EQ(delegate->count(SocketEvent::Disconnect), 0u);
}

TEST_F(WriteTest, WritingToAVanishedPeerFailsWithoutSignallingTheProcess)
{
    struct sigaction before {};
    ::sigaction(SIGPIPE, nullptr, &before);

    Peer peer = connectToPeer(listener);
    peer.reset();
    // Keep writing until the reset is noticed; a SIGPIPE would end the test
    // program here.
    for (int i = 0; i < 50 && !delegate->waitFor(SocketEvent::Disconnect, 1, 50ms); ++i)
        sock->writeData(patternBytes(64 * 1024), -1, i);
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    ASSERT_TRUE(disconnected->error);
    EXPECT_EQ(disconnected->error->domain, GCDAsyncSocketPOSIXErrorDomain);

    struct sigaction after {};
    ::sigaction(SIGPIPE, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler) << "the library changed the process's SIGPIPE disposition";
}

}  // namespace
}  // namespace orv::test
