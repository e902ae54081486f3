// Workers and the reactor poll for a short while before they sleep. Work that
// arrives at any moment around the end of that window must still be picked
// up. (What idle threads cost is measured by the dispatch benchmark.)

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "SocketPair.h"
#include "platform/Dispatch.h"
#include "support/Wait.h"

using namespace orv::dispatch;
using orv::test::Latch;
using namespace std::chrono_literals;
using orv::test::SocketPair;

namespace {

// Gaps between one hand-off and the next: inside the polling window, around
// its end, and well after the thread went to sleep.
const std::chrono::microseconds kGaps[] = {0us, 5us, 20us, 45us, 50us, 55us, 80us, 200us, 2000us};
constexpr int kRoundsPerGap = 30;

// Keeps this thread on the CPU for `gap`, so the next hand-off lands at a
// precise point of the other side's polling window.
void spinFor(std::chrono::microseconds gap)
{
    auto until = std::chrono::steady_clock::now() + gap;
    while (std::chrono::steady_clock::now() < until) {
    }
}

}  // namespace

TEST(IdleHandOff, BlocksPostedAtAnyPointOfTheIdleWindowRun)
{
    const QueueRef queues[] = {Queue::global(), Queue::makeSerial("test.idle.serial")};
    for (const auto& queue : queues) {
        for (auto gap : kGaps) {
            for (int round = 0; round < kRoundsPerGap; ++round) {
                Latch ran;
                queue->async([&] { ran.countDown(); });
                ASSERT_TRUE(ran.wait(5s)) << queue->label() << " gap " << gap.count() << "us";
                spinFor(gap);
            }
        }
    }
}

TEST(IdleHandOff, DescriptorEventsAtAnyPointOfThePollingWindowAreDelivered)
{
    SocketPair pair;
    auto queue = Queue::makeSerial("test.idle.source");
    auto source = Source::makeRead(pair.fds[0], queue);
    Latch* pending = nullptr;  // read and written on `queue` only
    source->setEventHandler([&] {
        char buffer[16];
        while (::read(pair.fds[0], buffer, sizeof buffer) > 0) {
        }
        if (pending)
            std::exchange(pending, nullptr)->countDown();
    });
    source->resume();
    for (auto gap : kGaps) {
        for (int round = 0; round < kRoundsPerGap; ++round) {
            Latch delivered;
            queue->sync([&] { pending = &delivered; });
            ASSERT_EQ(::write(pair.fds[1], "x", 1), 1);
            ASSERT_TRUE(delivered.wait(5s)) << "gap " << gap.count() << "us";
            spinFor(gap);
        }
    }
    source->cancel();
    queue->sync([] {});
}
