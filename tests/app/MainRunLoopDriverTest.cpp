#include "app/shell/MainRunLoopDriver.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/Dispatch.h"
#include "platform/Error.h"
#include "platform/RunLoop.h"
#include "platform/RunLoopSource.h"
#include "platform/RunLoopTimer.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

// One QApplication for the whole program (Qt allows only one), on the
// offscreen platform unless the environment chose another.
QApplication& application()
{
    static int argc = 1;
    static char name[] = "app_MainRunLoopDriverTest";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    return app;
}

// Runs Qt's event loop, with the main run loop attached, until `quit` is
// called or the deadline passes; true when quit came first.
template <class Start>
bool runQtUntilQuit(Start start, std::chrono::milliseconds deadline = 10s)
{
    auto& app = application();
    MainRunLoopDriver driver(RunLoop::main());
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &app, [&] {
        timedOut = true;
        QApplication::quit();
    });
    guard.start(deadline);
    start();
    QApplication::exec();
    return !timedOut;
}

void quit()
{
    QApplication::quit();
}

TEST(MainRunLoopDriverTest, RunsAMainQueueBlock)
{
    bool onMainThread = false;
    EXPECT_TRUE(runQtUntilQuit([&] {
        dispatch::Queue::main()->async([&] {
            onMainThread = RunLoop::main().isCurrent();
            quit();
        });
    }));
    EXPECT_TRUE(onMainThread);
}

TEST(MainRunLoopDriverTest, PostFromAnotherThreadWakesQt)
{
    std::thread poster;
    EXPECT_TRUE(runQtUntilQuit([&] {
        poster = std::thread([] { RunLoop::main().post(quit); });
    }));
    poster.join();
}

TEST(MainRunLoopDriverTest, TimersAndDelayedPerformsFireWithoutOtherActivity)
{
    // The perform is queued from a Qt callback, outside any pass: the driver
    // must still learn its deadline.
    int target = 0;
    int ticks = 0;
    std::shared_ptr<RunLoopTimer> timer;
    const auto started = RunLoop::Clock::now();
    RunLoop::Clock::time_point performedAt{};
    EXPECT_TRUE(runQtUntilQuit([&] {
        QTimer::singleShot(0, [&] {
            RunLoop::main().perform(&target, "later", 40ms, [&] { performedAt = RunLoop::Clock::now(); });
        });
        timer = RunLoopTimer::scheduled(5ms, true, [&](RunLoopTimer& t) {
            if (++ticks >= 3 && performedAt != RunLoop::Clock::time_point{}) {
                t.invalidate();
                quit();
            }
        });
    }));
    EXPECT_GE(ticks, 3);
    EXPECT_GE(performedAt - started, 40ms);
    timer->invalidate();
}

TEST(MainRunLoopDriverTest, ReadySourceIsHandled)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
    auto source = RunLoopSource::make(fds[0], RunLoopSource::Readable, [](RunLoopSource& s, unsigned) {
        char byte;
        if (::read(s.descriptor(), &byte, 1) == 1 && byte == 'q')
            quit();
    });
    RunLoop::main().addSource(source, kDefaultRunLoopMode);
    EXPECT_TRUE(runQtUntilQuit([&] { ASSERT_EQ(::write(fds[1], "q", 1), 1); }));
    source->invalidate();
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(MainRunLoopDriverTest, RefusesToDriveAnotherThreadsLoop)
{
    application();
    std::shared_ptr<RunLoop> foreign;
    std::thread owner([&] { foreign = RunLoop::current().shared_from_this(); });
    owner.join();
    EXPECT_THROW(MainRunLoopDriver driver(*foreign), Exception);
}

}  // namespace
}  // namespace orv
