// The run-loop TCP socket against Asio doing the same work over 127.0.0.1:
// the 64 KiB pump and the small-frame round trips of the queue-driven
// socket's benchmark. Both ends of ours live on the benchmark thread's run
// loop, one thread; Asio runs once on two threads (as in that benchmark)
// and once on one. Each benchmark runs quiet and "Loaded".

#include <benchmark/benchmark.h>

#include "AsioReference.h"
#include "RatioReporter.h"
#include "SpinLoad.h"
#include "core/sockets/AsyncSocket.h"
#include "platform/RunLoop.h"

namespace {

using namespace orv;
using namespace orv::bench::asioref;

// Accepts one connection and keeps it.
class Acceptor : public AsyncSocketDelegate {
public:
    void onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>& newSocket) override
    {
        accepted = newSocket;
    }
    std::shared_ptr<AsyncSocket> accepted;
};

struct OursPair {
    std::shared_ptr<Acceptor> acceptor = std::make_shared<Acceptor>();
    std::shared_ptr<AsyncSocket> listener = AsyncSocket::create(acceptor);
    std::shared_ptr<AsyncSocket> client;
    std::shared_ptr<AsyncSocket> server;

    OursPair(std::shared_ptr<AsyncSocketDelegate> clientDelegate, std::shared_ptr<AsyncSocketDelegate> serverDelegate)
    {
        listener->acceptOnInterface("127.0.0.1", 0);
        client = AsyncSocket::create(clientDelegate);
        client->connectToHost("127.0.0.1", listener->localPort(), 5.0);
        runUntil([&] { return acceptor->accepted && client->isConnected() && acceptor->accepted->isConnected(); });
        server = acceptor->accepted;
        server->setDelegate(serverDelegate);
    }
    ~OursPair()
    {
        client->disconnect();
        server->disconnect();
        listener->disconnect();
    }
    static void runUntil(const std::function<bool()>& predicate)
    {
        RunLoop::current().runUntil(predicate, RunLoop::Clock::now() + std::chrono::seconds(60));
    }
};

class PumpWriter : public AsyncSocketDelegate {
public:
    explicit PumpWriter(size_t chunk) : chunk_(std::make_shared<const Bytes>(chunk, 'p')) {}
    void start(AsyncSocket& sock)
    {
        remaining_ = kPumpBytes / chunk_->size();
        next(sock);
    }
    void onSocketDidWriteDataWithTag(AsyncSocket& sock, long) override { next(sock); }

private:
    void next(AsyncSocket& sock)
    {
        if (remaining_ == 0)
            return;
        --remaining_;
        sock.writeData(chunk_, -1, 0);
    }
    std::shared_ptr<const Bytes> chunk_;
    size_t remaining_ = 0;
};

class PumpReader : public AsyncSocketDelegate {
public:
    void start(AsyncSocket& sock)
    {
        received_ = 0;
        done = false;
        sock.readDataWithTimeout(-1, buffer_, 0, kReadBuffer, 0);
    }
    void onSocketDidReadData(AsyncSocket& sock, const SocketData& data, long) override
    {
        received_ += data.size();
        if (received_ >= kPumpBytes)
            done = true;
        else
            sock.readDataWithTimeout(-1, buffer_, 0, kReadBuffer, 0);
    }
    bool done = false;

private:
    std::shared_ptr<Bytes> buffer_ = std::make_shared<Bytes>(kReadBuffer);
    size_t received_ = 0;
};

void OursRunLoopPump64KiB(benchmark::State& state)
{
    auto writer = std::make_shared<PumpWriter>(64 * 1024);
    auto reader = std::make_shared<PumpReader>();
    OursPair pair(writer, reader);
    for (auto _ : state) {
        reader->start(*pair.server);
        writer->start(*pair.client);
        OursPair::runUntil([&] { return reader->done; });
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPumpBytes));
}

// Client: write a frame, read its 4-byte length, then the body; repeat.
class FrameClient : public AsyncSocketDelegate {
public:
    void start(AsyncSocket& sock)
    {
        remaining_ = kRoundTrips;
        done = false;
        sock.writeData(request_, -1, 0);
        sock.readDataToLength(4, -1, 1);
    }
    void onSocketDidReadData(AsyncSocket& sock, const SocketData& data, long tag) override
    {
        if (tag == 1) {
            sock.readDataToLength(data.data()[3], -1, 2);
            return;
        }
        if (--remaining_ == 0) {
            done = true;
            return;
        }
        sock.writeData(request_, -1, 0);
        sock.readDataToLength(4, -1, 1);
    }
    bool done = false;

private:
    std::shared_ptr<const Bytes> request_ = std::make_shared<const Bytes>(frame());
    int remaining_ = 0;
};

// Server: read a frame's length, then its body, answer with a frame.
class FrameServer : public AsyncSocketDelegate {
public:
    void start(AsyncSocket& sock) { sock.readDataToLength(4, -1, 1); }
    void onSocketDidReadData(AsyncSocket& sock, const SocketData& data, long tag) override
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

void OursRunLoopRoundTrips(benchmark::State& state)
{
    auto client = std::make_shared<FrameClient>();
    auto server = std::make_shared<FrameServer>();
    OursPair pair(client, server);
    server->start(*pair.server);
    for (auto _ : state) {
        client->start(*pair.client);
        OursPair::runUntil([&] { return client->done; });
    }
    state.SetItemsProcessed(state.iterations() * kRoundTrips);
}

}  // namespace

void AsioPump64KiB(benchmark::State& state) { runAsioPump(state, 64 * 1024); }
void AsioPump64KiBOneThread(benchmark::State& state) { runAsioPump(state, 64 * 1024, 1); }
void AsioRoundTripsOneThread(benchmark::State& state) { runAsioRoundTrips(state, 1); }
void AsioRoundTripsTwoThreads(benchmark::State& state) { runAsioRoundTrips(state); }

ORV_QUIET_AND_LOADED(OursRunLoopPump64KiB);
ORV_QUIET_AND_LOADED(AsioPump64KiB);
ORV_QUIET_AND_LOADED(AsioPump64KiBOneThread);
ORV_QUIET_AND_LOADED(OursRunLoopRoundTrips);
ORV_QUIET_AND_LOADED(AsioRoundTripsTwoThreads);
ORV_QUIET_AND_LOADED(AsioRoundTripsOneThread);

int main(int argc, char** argv)
{
    orv::bench::runPrintingRatios(argc, argv, orv::bench::quietAndLoaded({
        {"OursRunLoopPump64KiB", "AsioPump64KiB"},
        {"OursRunLoopPump64KiB", "AsioPump64KiBOneThread"},
        {"OursRunLoopRoundTrips", "AsioRoundTripsTwoThreads"},
        {"OursRunLoopRoundTrips", "AsioRoundTripsOneThread"},
    }));
    benchmark::Shutdown();
    return 0;
}
