// The queue-driven socket against Asio doing the same work over 127.0.0.1:
// a one-way pump of a fixed amount of data in 8 KiB and 64 KiB writes, the
// reader taking whatever is available; and request/reply round trips of
// small length-prefixed frames. Both sides of each connection are in this
// process; each does one operation per direction at a time. Each benchmark
// runs twice: on a quiet machine, and "Loaded", with every core but one
// kept busy (ours and Asio alike).

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "AsioReference.h"
#include "Done.h"
#include "RatioReporter.h"
#include "SpinLoad.h"
#include "core/sockets/GCDAsyncSocket.h"

namespace {

using namespace orv;
using namespace orv::bench::asioref;
using orv::bench::Done;

// ---------------------------------------------------------------------------
// Ours: a listener, a client and the accepted server side, each end with a
// delegate of its own on a serial delegate queue.

class Acceptor : public GCDAsyncSocketDelegate {
public:
    std::optional<dispatch::QueueRef> newSocketQueueForConnectionFromAddress(const Bytes&, GCDAsyncSocket&) override
    {
        return serverQueue;
    }
    dispatch::QueueRef serverQueue;
    void socketDidAcceptNewSocket(GCDAsyncSocket&, const std::shared_ptr<GCDAsyncSocket>& newSocket) override
    {
        std::lock_guard lock(mutex);
        accepted = newSocket;
        ready.notify_all();
    }
    std::mutex mutex;
    std::condition_variable ready;
    std::shared_ptr<GCDAsyncSocket> accepted;
};

struct OursPair {
    std::shared_ptr<Acceptor> acceptor = std::make_shared<Acceptor>();
    std::shared_ptr<GCDAsyncSocket> listener;
    std::shared_ptr<GCDAsyncSocket> client;
    std::shared_ptr<GCDAsyncSocket> server;

    // With `shareQueues`, each end's callbacks run on its own socket queue
    // instead of on a delegate queue of their own.
    OursPair(std::shared_ptr<GCDAsyncSocketDelegate> clientDelegate,
             std::shared_ptr<GCDAsyncSocketDelegate> serverDelegate, bool shareQueues)
    {
        auto clientQueue = dispatch::Queue::makeSerial("bench.client");
        auto serverQueue = dispatch::Queue::makeSerial("bench.server");
        acceptor->serverQueue = shareQueues ? serverQueue : nullptr;
        listener = GCDAsyncSocket::create(acceptor, dispatch::Queue::makeSerial("bench.accept"));
        listener->setIPv6Enabled(false);
        listener->acceptOnInterface("127.0.0.1", 0);
        client = GCDAsyncSocket::create(clientDelegate, shareQueues ? clientQueue : dispatch::Queue::makeSerial("bench.client.delegate"),
                                        shareQueues ? clientQueue : nullptr);
        client->connectToHost("127.0.0.1", listener->localPort(), 5.0);
        std::unique_lock lock(acceptor->mutex);
        acceptor->ready.wait(lock, [&] { return acceptor->accepted != nullptr; });
        server = acceptor->accepted;
        server->synchronouslySetDelegate(serverDelegate,
                                         shareQueues ? serverQueue : dispatch::Queue::makeSerial("bench.server.delegate"));
    }
    ~OursPair()
    {
        client->disconnect();
        server->disconnect();
        listener->disconnect();
    }
};

class PumpWriter : public GCDAsyncSocketDelegate {
public:
    explicit PumpWriter(size_t chunk) : chunk_(std::make_shared<const Bytes>(chunk, 'p')) {}
    void start(GCDAsyncSocket& sock)
    {
        remaining_ = kPumpBytes / chunk_->size();
        next(sock);
    }
    void socketDidWriteDataWithTag(GCDAsyncSocket& sock, int64_t) override { next(sock); }

private:
    void next(GCDAsyncSocket& sock)
    {
        if (remaining_ == 0)
            return;
        --remaining_;
        sock.writeData(chunk_, -1, 0);
    }
    std::shared_ptr<const Bytes> chunk_;
    size_t remaining_ = 0;  // on the writer's delegate queue only (and before it starts)
};

class PumpReader : public GCDAsyncSocketDelegate {
public:
    void start(GCDAsyncSocket& sock)
    {
        received_ = 0;
        sock.readDataWithTimeout(-1, buffer_, 0, kReadBuffer, 0);
    }
    void socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t) override
    {
        received_ += data.size();
        if (received_ >= kPumpBytes)
            done.signal();
        else
            sock.readDataWithTimeout(-1, buffer_, 0, kReadBuffer, 0);
    }
    Done done;

private:
    std::shared_ptr<Bytes> buffer_ = std::make_shared<Bytes>(kReadBuffer);
    size_t received_ = 0;
};

void OursPump(benchmark::State& state, size_t chunk, bool shareQueues)
{
    auto writer = std::make_shared<PumpWriter>(chunk);
    auto reader = std::make_shared<PumpReader>();
    OursPair pair(writer, reader, shareQueues);
    for (auto _ : state) {
        reader->start(*pair.server);
        writer->start(*pair.client);
        reader->done.wait();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPumpBytes));
}

// Client: write a frame, read its 4-byte length, then the body; repeat.
class FrameClient : public GCDAsyncSocketDelegate {
public:
    void start(GCDAsyncSocket& sock)
    {
        remaining_ = kRoundTrips;
        sock.writeData(request_, -1, 0);
        sock.readDataToLength(4, -1, 1);
    }
    void socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t tag) override
    {
        if (tag == 1) {
            sock.readDataToLength(data.data()[3], -1, 2);
            return;
        }
        if (--remaining_ == 0) {
            done.signal();
            return;
        }
        sock.writeData(request_, -1, 0);
        sock.readDataToLength(4, -1, 1);
    }
    Done done;

private:
    std::shared_ptr<const Bytes> request_ = std::make_shared<const Bytes>(frame());
    int remaining_ = 0;
};

// Server: read a frame's length, then its body, answer with a frame.
class FrameServer : public GCDAsyncSocketDelegate {
public:
    void start(GCDAsyncSocket& sock) { sock.readDataToLength(4, -1, 1); }
    void socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t tag) override
    {
        if (tag == 1) {
            sock.readDataToLength(data.data()[3], -1, 2);
            return;
        }
        sock.writeData(reply_, -1, 0);
        sock.readDataToLength(4, -1, 1);
    }

private:
    std::shared_ptr<const Bytes> reply_ = std::make_shared<const Bytes>(frame());
};

void OursRoundTrips(benchmark::State& state, bool shareQueues)
{
    auto client = std::make_shared<FrameClient>();
    auto server = std::make_shared<FrameServer>();
    OursPair pair(client, server, shareQueues);
    server->start(*pair.server);
    for (auto _ : state) {
        client->start(*pair.client);
        client->done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kRoundTrips);
}

}  // namespace

void OursPump8KiB(benchmark::State& state) { OursPump(state, 8 * 1024, false); }
void OursPump64KiB(benchmark::State& state) { OursPump(state, 64 * 1024, false); }
void OursPump8KiBSharedQueue(benchmark::State& state) { OursPump(state, 8 * 1024, true); }
void OursPump64KiBSharedQueue(benchmark::State& state) { OursPump(state, 64 * 1024, true); }
void AsioPump8KiB(benchmark::State& state) { runAsioPump(state, 8 * 1024); }
void AsioPump64KiB(benchmark::State& state) { runAsioPump(state, 64 * 1024); }
void AsioRoundTrips(benchmark::State& state) { runAsioRoundTrips(state); }
void OursRoundTripsDelegateQueue(benchmark::State& state) { OursRoundTrips(state, false); }
void OursRoundTripsSharedQueue(benchmark::State& state) { OursRoundTrips(state, true); }

ORV_QUIET_AND_LOADED(OursPump8KiB);
ORV_QUIET_AND_LOADED(OursPump8KiBSharedQueue);
ORV_QUIET_AND_LOADED(AsioPump8KiB);
ORV_QUIET_AND_LOADED(OursPump64KiB);
ORV_QUIET_AND_LOADED(OursPump64KiBSharedQueue);
ORV_QUIET_AND_LOADED(AsioPump64KiB);
ORV_QUIET_AND_LOADED(OursRoundTripsDelegateQueue);
ORV_QUIET_AND_LOADED(OursRoundTripsSharedQueue);
ORV_QUIET_AND_LOADED(AsioRoundTrips);

int main(int argc, char** argv)
{
    orv::bench::runPrintingRatios(argc, argv, orv::bench::quietAndLoaded({
        {"OursPump8KiB", "AsioPump8KiB"},
        {"OursPump8KiBSharedQueue", "AsioPump8KiB"},
        {"OursPump64KiB", "AsioPump64KiB"},
        {"OursPump64KiBSharedQueue", "AsioPump64KiB"},
        {"OursRoundTripsDelegateQueue", "AsioRoundTrips"},
        {"OursRoundTripsSharedQueue", "AsioRoundTrips"},
    }));
    benchmark::Shutdown();
    return 0;
}
