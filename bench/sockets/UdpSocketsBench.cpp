// The queue-driven UDP socket against Asio's UDP socket doing the same work
// over 127.0.0.1: a client keeps a fixed number of datagrams in flight to an
// echo server and sends the next one for each echo it gets back, until a
// given number have made the round trip. 64-byte and 8 KiB datagrams.

#include <asio.hpp>
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <vector>

#include "Done.h"
#include "RatioReporter.h"
#include "core/sockets/GCDAsyncUdpSocket.h"

namespace {

using namespace orv;
using asio::ip::udp;
using orv::bench::Done;

// Datagrams in flight at once, the same for both; small enough that they
// fit the default receive buffer (which counts each datagram at about twice
// its size), so nothing is dropped and no round waits forever.
int depthFor(size_t size)
{
    return size <= 1024 ? 16 : 4;
}

// ---------------------------------------------------------------------------
// Ours: both sockets deliver on their own socket queue.

class Echo : public GCDAsyncUdpSocketDelegate {
public:
    void udpSocketDidReceiveData(GCDAsyncUdpSocket& sock, const Bytes& data, const Bytes& address,
                                 const std::shared_ptr<void>&) override
    {
        sock.sendData(std::make_shared<const Bytes>(data), address, -1, 0);
    }
};

class Client : public GCDAsyncUdpSocketDelegate {
public:
    void udpSocketDidReceiveData(GCDAsyncUdpSocket& sock, const Bytes&, const Bytes&,
                                 const std::shared_ptr<void>&) override
    {
        if (++received == total) {
            done.signal();
            return;
        }
        if (sent < total) {
            ++sent;
            sock.sendData(payload, server, -1, 0);
        }
    }
    std::shared_ptr<const Bytes> payload;
    Bytes server;
    int64_t total = 0;
    int64_t sent = 0;
    int64_t received = 0;
    Done done;
};

void OursUdp(benchmark::State& state, size_t size)
{
    const int64_t count = state.range(0);
    auto echo = std::make_shared<Echo>();
    auto client = std::make_shared<Client>();
    auto serverQueue = dispatch::Queue::makeSerial("bench-udp-server");
    auto clientQueue = dispatch::Queue::makeSerial("bench-udp-client");
    auto server = GCDAsyncUdpSocket::create(echo, serverQueue, serverQueue);
    auto sock = GCDAsyncUdpSocket::create(client, clientQueue, clientQueue);
    server->setMaxReceiveIPv4BufferSize(static_cast<uint16_t>(size));
    sock->setMaxReceiveIPv4BufferSize(static_cast<uint16_t>(size));
    if (!server->bindToPort(0, "127.0.0.1") || !server->beginReceiving() || !sock->bindToPort(0, "127.0.0.1") ||
        !sock->beginReceiving()) {
        state.SkipWithError("could not set up the sockets");
        return;
    }
    client->payload = std::make_shared<const Bytes>(size, 'u');
    client->server = *server->localAddress();
    for (auto _ : state) {
        clientQueue->sync([&] {
            client->total = count;
            client->received = 0;
            client->sent = std::min<int64_t>(depthFor(size), count);
            for (int64_t i = 0; i < client->sent; ++i)
                sock->sendData(client->payload, client->server, -1, 0);
        });
        client->done.wait();
    }
    state.SetItemsProcessed(state.iterations() * count);
    sock.reset();
    server.reset();
}

// ---------------------------------------------------------------------------
// Asio: both sockets on one io_context served by one thread.

void AsioUdp(benchmark::State& state, size_t size)
{
    const int64_t count = state.range(0);
    asio::io_context context;
    udp::socket server(context, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    udp::socket client(context, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    const udp::endpoint serverEndpoint = server.local_endpoint();
    std::vector<uint8_t> payload(size, 'u');

    struct Slot {
        std::vector<uint8_t> buffer;
        udp::endpoint from;
    };
    std::vector<Slot> serverSlots(depthFor(size), Slot{std::vector<uint8_t>(size), {}});
    std::vector<uint8_t> clientBuffer(size);
    udp::endpoint clientFrom;
    int64_t sent = 0;
    int64_t received = 0;
    bool running = true;

    std::function<void(Slot&)> serve = [&](Slot& slot) {
        server.async_receive_from(asio::buffer(slot.buffer), slot.from, [&](std::error_code ec, size_t n) {
            if (ec || !running)
                return;
            server.async_send_to(asio::buffer(slot.buffer.data(), n), slot.from,
                                 [&](std::error_code, size_t) { serve(slot); });
        });
    };
    std::function<void()> receiveEcho = [&] {
        client.async_receive_from(asio::buffer(clientBuffer), clientFrom, [&](std::error_code ec, size_t) {
            if (ec)
                return;
            if (++received == count) {
                running = false;
                return;
            }
            if (sent < count) {
                ++sent;
                client.async_send_to(asio::buffer(payload), serverEndpoint, [](std::error_code, size_t) {});
            }
            receiveEcho();
        });
    };

    for (auto _ : state) {
        sent = std::min<int64_t>(depthFor(size), count);
        received = 0;
        running = true;
        for (auto& slot : serverSlots)
            serve(slot);
        receiveEcho();
        for (int64_t i = 0; i < sent; ++i)
            client.async_send_to(asio::buffer(payload), serverEndpoint, [](std::error_code, size_t) {});
        while (running && context.run_one() > 0) {
        }
        server.cancel();
        client.cancel();
        context.run();
        context.restart();
    }
    state.SetItemsProcessed(state.iterations() * count);
}

void OursUdp64B(benchmark::State& state) { OursUdp(state, 64); }
void AsioUdp64B(benchmark::State& state) { AsioUdp(state, 64); }
void OursUdp8KiB(benchmark::State& state) { OursUdp(state, 8 * 1024); }
void AsioUdp8KiB(benchmark::State& state) { AsioUdp(state, 8 * 1024); }

BENCHMARK(OursUdp64B)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AsioUdp64B)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OursUdp8KiB)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AsioUdp8KiB)->Arg(100'000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    orv::bench::runPrintingRatios(argc, argv, {{"OursUdp64B", "AsioUdp64B"}, {"OursUdp8KiB", "AsioUdp8KiB"}});
    benchmark::Shutdown();
    return 0;
}
