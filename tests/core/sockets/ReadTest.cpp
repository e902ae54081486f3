// Reading: exact lengths, terminators, what is available, caller buffers,
// timeouts extended and not, end of stream and resets.
#include "SocketTestSupport.h"

namespace orv::test {
namespace {

class ReadTest : public SocketTest {
protected:
    void SetUp() override
    {
        SocketTest::SetUp();
        peer = connectToPeer(listener);
        ASSERT_TRUE(peer);
    }

    std::optional<Error> disconnectError()
    {
        auto e = delegate->waitFor(SocketEvent::Disconnect);
        EXPECT_TRUE(e.has_value());
        return e ? e->error : std::nullopt;
    }

    Listener listener;
    Peer peer;
};

TEST_F(ReadTest, TwoLengthReadsFromOneSegmentBothComplete)
{
    sock->readDataToLength(4, -1, 1);
    sock->readDataToLength(10, -1, 2);
    ASSERT_TRUE(peer.send("abcd0123456789"));

    auto second = delegate->waitFor(SocketEvent::Read, 2);
    ASSERT_TRUE(second);
    auto reads = delegate->eventsOf(SocketEvent::Read);
    EXPECT_EQ(textOf(reads[0].data), "abcd");
    EXPECT_EQ(reads[0].tag, 1);
    EXPECT_EQ(textOf(reads[1].data), "0123456789");
    EXPECT_EQ(reads[1].tag, 2);
    EXPECT_EQ(delegate->count(SocketEvent::ReadPartial), 0u);
}

TEST_F(ReadTest, ReadsQueuedOneAtATimeShareWhatArrivedTogether)
{
    // Each read is queued only once the one before it is done, as a frame
    // reader does, so whatever one read took beyond its own bytes must wait
    // for the next.
    auto callerBuffer = std::make_shared<Bytes>(bytesOf("xx"));
    struct Step {
        const char* name;
        std::function<void(GCDAsyncSocket&, int64_t)> queue;
        std::string expected;
    };
    const std::vector<Step> steps = {
        {"header", [](GCDAsyncSocket& s, int64_t tag) { s.readDataToLength(4, -1, tag); }, "HEAD"},
        {"body into the caller's buffer",
         [callerBuffer](GCDAsyncSocket& s, int64_t tag) { s.readDataToLength(16, -1, callerBuffer, 2, tag); },
         "body-of-sixteen!"},
        {"line", [](GCDAsyncSocket& s, int64_t tag) { s.readDataToData(GCDAsyncSocket::LFData(), -1, tag); },
         "line\n"},
        {"at most two", [](GCDAsyncSocket& s, int64_t tag) { s.readDataWithTimeout(-1, nullptr, 0, 2, tag); }, "ta"},
        {"length reaching into the next segment",
         [](GCDAsyncSocket& s, int64_t tag) { s.readDataToLength(6, -1, tag); }, "il1234"},
    };
    delegate->setOnEvent([this, &steps](const SocketEvent& e) {
        const auto next = static_cast<size_t>(e.tag) + 1;
        if (e.kind == SocketEvent::Read && next < steps.size())
            steps[next].queue(*sock, e.tag + 1);
    });
    steps[0].queue(*sock, 0);
    ASSERT_TRUE(peer.send("HEADbody-of-sixteen!line\ntail"));
    ASSERT_TRUE(delegate->waitFor(SocketEvent::ReadPartial));
    ASSERT_TRUE(peer.send("1234"));

    ASSERT_TRUE(delegate->waitFor(SocketEvent::Read, steps.size()));
    auto reads = delegate->eventsOf(SocketEvent::Read);
    for (size_t i = 0; i < steps.size(); ++i) {
        SCOPED_TRACE(steps[i].name);
        EXPECT_EQ(reads[i].tag, static_cast<int64_t>(i));
        EXPECT_EQ(textOf(reads[i].data), steps[i].expected);
    }
    delegate->setOnEvent(nullptr);
    drain();
    EXPECT_EQ(textOf(*callerBuffer), "xxbody-of-sixteen!");
}

TEST_F(ReadTest, LengthReadAcrossSegmentsReportsProgress)
{
    sock->readDataToLength(8, -1, 5);
    ASSERT_TRUE(peer.send("abc"));
    ASSERT_TRUE(delegate->waitFor(SocketEvent::ReadPartial));
    int64_t tag = 0;
    size_t done = 0, total = 0;
    EXPECT_FLOAT_EQ(sock->progressOfReadReturningTag(&tag, &done, &total), 3.0f / 8.0f);
    EXPECT_EQ(tag, 5);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(total, 8u);

    ASSERT_TRUE(peer.send("defgh"));
    auto read = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(read);
    EXPECT_EQ(textOf(read->data), "abcdefgh");
    EXPECT_EQ(delegate->eventsOf(SocketEvent::ReadPartial).front().length, 3u);
    EXPECT_TRUE(std::isnan(sock->progressOfReadReturningTag(nullptr, nullptr, nullptr)));
}

TEST_F(ReadTest, TerminatorSplitAcrossSegmentsIsFound)
{
    sock->readDataToData(GCDAsyncSocket::CRLFData(), -1, 1);
    ASSERT_TRUE(peer.send("hello\r"));
    ASSERT_TRUE(delegate->waitFor(SocketEvent::ReadPartial));
    ASSERT_TRUE(peer.send("\nworld"));
    auto read = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(read);
    EXPECT_EQ(textOf(read->data), "hello\r\n");

    // What followed the terminator is kept for the next read.
    sock->readDataToLength(5, -1, 2);
    auto next = delegate->waitFor(SocketEvent::Read, 2);
    ASSERT_TRUE(next);
    EXPECT_EQ(textOf(next->data), "world");
}

TEST_F(ReadTest, ManyLinesInOneSegmentComeOutOneByOne)
{
    ASSERT_TRUE(peer.send("one\ntwo\nthree\n"));
    for (int i = 0; i < 3; ++i)
        sock->readDataToData(GCDAsyncSocket::LFData(), -1, i);
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Read, 3));
    auto reads = delegate->eventsOf(SocketEvent::Read);
    EXPECT_EQ(textOf(reads[0].data), "one\n");
    EXPECT_EQ(textOf(reads[1].data), "two\n");
    EXPECT_EQ(textOf(reads[2].data), "three\n");
}

TEST_F(ReadTest, TerminatorNotWithinMaximumClosesWithCode6)
{
    sock->readDataToData(GCDAsyncSocket::CRLFData(), -1, 10, 1);
    ASSERT_TRUE(peer.send("0123456789abc"));
    auto error = disconnectError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, GCDAsyncSocketReadMaxedOutError);
    EXPECT_EQ(error->message, "Read operation reached set maximum length");
    EXPECT_EQ(delegate->count(SocketEvent::Read), 0u);
}

TEST_F(ReadTest, AvailableDataReadTakesOnlyWhatHasArrived)
{
    sock->readDataWithTimeout(-1, 3);
    ASSERT_TRUE(peer.send("partial"));
    auto read = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(read);
    EXPECT_EQ(textOf(read->data), "partial");
    EXPECT_EQ(read->tag, 3);
}

TEST_F(ReadTest, AvailableDataReadStopsAtItsMaximum)
{
    auto buffer = std::make_shared<Bytes>();
    sock->readDataWithTimeout(-1, buffer, 0, 4, 1);
    sock->readDataWithTimeout(-1, 2);
    ASSERT_TRUE(peer.send("abcdefgh"));
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Read, 2));
    auto reads = delegate->eventsOf(SocketEvent::Read);
    EXPECT_EQ(textOf(reads[0].data), "abcd");
    EXPECT_EQ(textOf(reads[1].data), "efgh");
}

TEST_F(ReadTest, ReadIntoCallersBufferHandsBackAViewOfIt)
{
    auto buffer = std::make_shared<Bytes>(bytesOf("HEAD"));
    sock->readDataToLength(6, -1, buffer, 4, 9);
    ASSERT_TRUE(peer.send("payload"));
    auto read = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(read);
    EXPECT_EQ(textOf(read->data), "payloa");
    // The bytes were not copied: the view points into the caller's buffer,
    // which grew to hold them after what it already had.
    EXPECT_EQ(read->view.buffer.get(), buffer.get());
    EXPECT_EQ(read->view.offset, 4u);
    drain();
    EXPECT_EQ(textOf(*buffer), "HEADpayloa");
}

TEST_F(ReadTest, InvalidRequestsAreDroppedWithoutConsumingBytes)
{
    auto shortBuffer = std::make_shared<Bytes>(2);
    sock->readDataToLength(0, -1, 1);                                    // no length
    sock->readDataToData(Bytes(), -1, 2);                                // no terminator
    sock->readDataToData(bytesOf("\r\n"), -1, 1, 3);                     // maximum below the terminator
    sock->readDataWithTimeout(-1, shortBuffer, 3, 4);                    // offset past the buffer
    sock->readDataToLength(3, -1, 5);
    ASSERT_TRUE(peer.send("xyz"));
    auto read = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->tag, 5);
    EXPECT_EQ(textOf(read->data), "xyz");
    drain();
    EXPECT_EQ(delegate->count(SocketEvent::Read), 1u);
}

TEST_F(ReadTest, ReadTimeoutWithoutExtensionClosesWithCode4)
{
    struct Case {
        const char* name;
        std::vector<double> answers;  // empty: the delegate does not implement the question
    };
    for (const Case& c : {Case{"AnsweredZero", {0.0}}, Case{"NotImplemented", {}}}) {
        SCOPED_TRACE(c.name);
        auto d = std::make_shared<RecordingDelegate>();
        d->readTimeoutAnswers = c.answers;
        auto s = GCDAsyncSocket::create(d, delegateQueue, socketQueue);
        ASSERT_TRUE(s->connectToAddress(address4(listener.port())));
        Peer p = listener.accept();
        s->readDataToLength(4, 0.2, 1);
        ASSERT_TRUE(p.send("ab"));
        auto disconnected = d->waitFor(SocketEvent::Disconnect);
        ASSERT_TRUE(disconnected);
        ASSERT_TRUE(disconnected->error);
        EXPECT_EQ(disconnected->error->code, GCDAsyncSocketReadTimeoutError);
        EXPECT_EQ(disconnected->error->message, "Read operation timed out");
        EXPECT_EQ(d->count(SocketEvent::Read), 0u);
        release(s);
    }
}

TEST_F(ReadTest, ExtendedReadTimeoutReportsTheTotalElapsed)
{
    // Answers: extend by 0.3 s, then give up.
    auto d = std::make_shared<RecordingDelegate>();
    d->readTimeoutAnswers = {0.3, 0.0};
    sock->synchronouslySetDelegate(d);
    sock->readDataToLength(4, 0.2, 7);
    ASSERT_TRUE(peer.send("ab"));

    auto disconnected = d->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    EXPECT_EQ(disconnected->error->code, GCDAsyncSocketReadTimeoutError);
    auto questions = d->eventsOf(SocketEvent::ReadTimeout);
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_DOUBLE_EQ(questions[0].elapsed, 0.2);
    EXPECT_DOUBLE_EQ(questions[1].elapsed, 0.5);
    EXPECT_EQ(questions[0].tag, 7);
    EXPECT_EQ(questions[1].length, 2u);  // bytes read so far
}

TEST_F(ReadTest, ExtendedReadStillCompletesWhenTheRestArrives)
{
    delegate->readTimeoutAnswers = {5.0};
    delegate->setOnEvent([&](const SocketEvent& e) {
        if (e.kind == SocketEvent::ReadTimeout)
            peer.send("cd");
    });
    sock->readDataToLength(4, 0.2, 1);
    ASSERT_TRUE(peer.send("ab"));
    auto read = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(read);
    EXPECT_EQ(textOf(read->data), "abcd");
    EXPECT_EQ(delegate->count(SocketEvent::Disconnect), 0u);
}

TEST_F(ReadTest, PeerClosingAfterTheLastNeededByteCompletesReadsThenCode7)
{
    sock->readDataToLength(3, -1, 1);
    sock->readDataToLength(3, -1, 2);
    ASSERT_TRUE(peer.send("abcdef"));
    peer.close();
    auto error = disconnectError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, GCDAsyncSocketClosedError);
    EXPECT_EQ(error->message, "Socket closed by remote peer");
    auto events = delegate->events();
    ASSERT_EQ(events.size(), 4u);  // connect, two reads, disconnect - in that order
    EXPECT_EQ(events[1].kind, SocketEvent::Read);
    EXPECT_EQ(events[2].kind, SocketEvent::Read);
    EXPECT_EQ(textOf(events[2].data), "def");
    EXPECT_EQ(events[3].kind, SocketEvent::Disconnect);
}

TEST_F(ReadTest, EndOfStreamBeforeTheReadIsSatisfiedClosesWithCode7)
{
    sock->readDataToLength(10, -1, 1);
    ASSERT_TRUE(peer.send("abc"));
    peer.shutdownWrite();
    auto error = disconnectError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, GCDAsyncSocketClosedError);
    EXPECT_EQ(delegate->count(SocketEvent::Read), 0u);
}

TEST_F(ReadTest, ResetIsReportedAsTheSystemErrorNotAsAnOrderlyClose)
{
    sock->readDataToLength(10, -1, 1);
    peer.reset();
    auto error = disconnectError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, GCDAsyncSocketPOSIXErrorDomain);
    EXPECT_EQ(error->code, ECONNRESET);
}

TEST_F(ReadTest, HalfDuplexKeepsWritingAfterThePeerStopsSending)
{
    sock->setAutoDisconnectOnClosedReadStream(false);
    sock->readDataWithTimeout(-1, 1);
    ASSERT_TRUE(peer.send("last words"));
    peer.shutdownWrite();
    ASSERT_TRUE(delegate->waitFor(SocketEvent::CloseReadStream));
    EXPECT_EQ(textOf(delegate->waitFor(SocketEvent::Read)->data), "last words");

    sock->writeData(bytesOf("reply"), -1, 2);
    EXPECT_EQ(textOf(peer.receive(5)), "reply");
    EXPECT_TRUE(sock->isConnected());
    EXPECT_EQ(delegate->count(SocketEvent::Disconnect), 0u);
}

}  // namespace
}  // namespace orv::test
