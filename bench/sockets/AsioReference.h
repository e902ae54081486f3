#pragma once
// The reference the socket benchmarks compare with: Asio doing the same work
// over 127.0.0.1, a one-way pump of a fixed amount of data (the reader taking
// whatever is available) and request/reply round trips of small
// length-prefixed frames.

#include <asio.hpp>
#include <benchmark/benchmark.h>

#include <functional>
#include <thread>
#include <vector>

#include "Done.h"
#include "core/sockets/SocketData.h"

namespace orv::bench::asioref {

using asio::ip::tcp;
using orv::Bytes;

constexpr size_t kPumpBytes = 64 * 1024 * 1024;
constexpr size_t kReadBuffer = 64 * 1024;
constexpr int kRoundTrips = 10'000;
constexpr size_t kFrameBody = 16;


inline Bytes frame()
{
    Bytes bytes(4 + kFrameBody, 'f');
    bytes[0] = bytes[1] = bytes[2] = 0;
    bytes[3] = static_cast<uint8_t>(kFrameBody);
    return bytes;
}

// ---------------------------------------------------------------------------
// Asio: the same over one io_context run by `threads` threads (two, or one
// for comparing with a socket served by one thread).

struct AsioPair {
    asio::io_context context;
    asio::executor_work_guard<asio::io_context::executor_type> guard{context.get_executor()};
    tcp::socket client{context};
    tcp::socket server{context};
    std::vector<std::thread> threads;

    explicit AsioPair(int threadCount = 2)
    {
        tcp::acceptor acceptor(context, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
        client.connect(acceptor.local_endpoint());
        acceptor.accept(server);
        for (int i = 0; i < threadCount; ++i)
            threads.emplace_back([this] { context.run(); });
    }
    ~AsioPair()
    {
        guard.reset();
        context.stop();
        for (auto& t : threads)
            t.join();
    }
};

inline void runAsioPump(benchmark::State& state, size_t chunkSize, int threads = 2)
{
    AsioPair pair(threads);
    const Bytes chunk(chunkSize, 'p');
    Bytes buffer(kReadBuffer);
    Done done;
    size_t remaining = 0;
    size_t received = 0;
    std::function<void()> writeNext = [&] {
        if (remaining == 0)
            return;
        --remaining;
        asio::async_write(pair.client, asio::buffer(chunk), [&](std::error_code ec, size_t) {
            if (!ec)
                writeNext();
        });
    };
    std::function<void()> readNext = [&] {
        pair.server.async_read_some(asio::buffer(buffer), [&](std::error_code ec, size_t n) {
            if (ec)
                return;
            received += n;
            if (received >= kPumpBytes)
                done.signal();
            else
                readNext();
        });
    };
    for (auto _ : state) {
        remaining = kPumpBytes / chunk.size();
        received = 0;
        asio::post(pair.context, readNext);
        asio::post(pair.context, writeNext);
        done.wait();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPumpBytes));
}

inline void runAsioRoundTrips(benchmark::State& state, int threads = 2)
{
    AsioPair pair(threads);
    const Bytes request = frame();
    const Bytes reply = frame();
    Bytes clientHeader(4), clientBody(kFrameBody), serverHeader(4), serverBody(kFrameBody);
    Done done;
    int remaining = 0;

    std::function<void()> serve = [&] {
        asio::async_read(pair.server, asio::buffer(serverHeader), [&](std::error_code ec, size_t) {
            if (ec)
                return;
            asio::async_read(pair.server, asio::buffer(serverBody.data(), serverHeader[3]),
                             [&](std::error_code ec2, size_t) {
                                 if (ec2)
                                     return;
                                 asio::async_write(pair.server, asio::buffer(reply), [](std::error_code, size_t) {});
                                 serve();
                             });
        });
    };
    std::function<void()> ask = [&] {
        asio::async_write(pair.client, asio::buffer(request), [](std::error_code, size_t) {});
        asio::async_read(pair.client, asio::buffer(clientHeader), [&](std::error_code ec, size_t) {
            if (ec)
                return;
            asio::async_read(pair.client, asio::buffer(clientBody.data(), clientHeader[3]),
                             [&](std::error_code ec2, size_t) {
                                 if (ec2)
                                     return;
                                 if (--remaining == 0)
                                     done.signal();
                                 else
                                     ask();
                             });
        });
    };
    asio::post(pair.context, serve);
    for (auto _ : state) {
        remaining = kRoundTrips;
        asio::post(pair.context, ask);
        done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kRoundTrips);
}

}  // namespace orv::bench::asioref
