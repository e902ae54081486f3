// Accepting while the process has no descriptor left: the listener must wait
// (not spin on the still-pending connection) and take the connection once a
// descriptor is free again; closing it meanwhile must still close it. Other
// failures of accept are injected to see which ones pause the listener.
#include "SocketTestSupport.h"

#include <deque>
#include <dlfcn.h>
#include <sys/resource.h>

namespace orv::test {
namespace {

// Accept calls as the library made them: errorNumber 0 for a connection taken.
struct AcceptAttempt {
    int listenFD;
    int errorNumber;
    Clock::time_point when;
};

struct AcceptLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<AcceptAttempt> attempts;
    std::deque<int> injected;  // errors the next calls give instead of accepting

    void clear()
    {
        std::lock_guard lock(mutex);
        attempts.clear();
        injected.clear();
    }

    void inject(int errorNumber)
    {
        std::lock_guard lock(mutex);
        injected.push_back(errorNumber);
    }

    std::optional<int> takeInjected()
    {
        std::lock_guard lock(mutex);
        if (injected.empty())
            return std::nullopt;
        const int errorNumber = injected.front();
        injected.pop_front();
        return errorNumber;
    }

    void record(AcceptAttempt attempt)
    {
        {
            std::lock_guard lock(mutex);
            attempts.push_back(attempt);
        }
        changed.notify_all();
    }

    std::vector<AcceptAttempt> attemptsOn(int listenFD)
    {
        std::lock_guard lock(mutex);
        std::vector<AcceptAttempt> found;
        for (const auto& a : attempts)
            if (a.listenFD == listenFD)
                found.push_back(a);
        return found;
    }

    // The attempts on `listenFD` that found no descriptor free, once there
    // are `count` of them (empty at the deadline).
    std::vector<AcceptAttempt> waitForExhaustedAttempts(int listenFD, size_t count)
    {
        std::unique_lock lock(mutex);
        std::vector<AcceptAttempt> found;
        changed.wait_until(lock, Clock::now() + kDeadline, [&] {
            found.clear();
            for (const auto& a : attempts)
                if (a.listenFD == listenFD && a.errorNumber == EMFILE)
                    found.push_back(a);
            return found.size() >= count;
        });
        if (found.size() < count)
            found.clear();
        return found;
    }
};

AcceptLog& acceptLog()
{
    static AcceptLog log;
    return log;
}

}  // namespace
}  // namespace orv::test

// Takes the place of the C library's accept4 for the whole test program, so
// that the test sees every attempt the listener makes.
extern "C" int accept4(int fd, sockaddr* __restrict addr, socklen_t* __restrict addrLen, int flags)
{
    using Accept4 = int (*)(int, sockaddr*, socklen_t*, int);
    static const auto next = reinterpret_cast<Accept4>(::dlsym(RTLD_NEXT, "accept4"));
    auto& log = orv::test::acceptLog();
    if (const auto injected = log.takeInjected()) {
        log.record({fd, *injected, orv::test::Clock::now()});
        errno = *injected;
        return -1;
    }
    const int result = next(fd, addr, addrLen, flags);
    const int saved = errno;
    log.record({fd, result == -1 ? saved : 0, orv::test::Clock::now()});
    errno = saved;
    return result;
}

namespace orv::test {
namespace {

// Leaves the process no free descriptor: lowers its limit to just above the
// highest one open and fills the gaps below. Undone when it goes away.
class DescriptorExhaustion {
public:
    DescriptorExhaustion()
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        // One above the highest, so that there is at least one filler to free.
        lowered.rlim_cur = static_cast<rlim_t>(highestOpenDescriptor() + 2);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (;;) {
            const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd == -1)
                break;
            fillers_.push_back(fd);
        }
    }
    ~DescriptorExhaustion()
    {
        for (int fd : fillers_)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorExhaustion(const DescriptorExhaustion&) = delete;
    DescriptorExhaustion& operator=(const DescriptorExhaustion&) = delete;

    static bool noneFree()
    {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd != -1) {
            ::close(fd);
            return false;
        }
        return errno == EMFILE;
    }

    void freeOne()
    {
        ASSERT_FALSE(fillers_.empty());
        ::close(fillers_.back());
        fillers_.pop_back();
    }

private:
    static int highestOpenDescriptor()
    {
        int highest = 2;
        if (DIR* dir = ::opendir("/proc/self/fd")) {
            const int own = ::dirfd(dir);
            while (dirent* entry = ::readdir(dir)) {
                const int fd = std::atoi(entry->d_name);
                if (fd != own)
                    highest = std::max(highest, fd);
            }
            ::closedir(dir);
        }
        return highest;
    }

    rlimit saved_{};
    std::vector<int> fillers_;
};

// UndefinedBehaviorSanitizer opens a pipe to check memory before some of its
// type checks; with no descriptor free it reports sound objects as broken.
// That build still runs the injected failures.
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WHEN_DESCRIPTORS_MUST_RUN_OUT() \
    GTEST_SKIP() << "the sanitizer runtime needs free descriptors of its own"
#else
#define SKIP_WHEN_DESCRIPTORS_MUST_RUN_OUT() (void)0
#endif

class AcceptOutOfDescriptorsTest : public SocketTest {
protected:
    void SetUp() override
    {
        SocketTest::SetUp();
        sock->setIPv6Enabled(false);
        Error error;
        ASSERT_TRUE(sock->acceptOnInterface("localhost", 0, &error)) << error.description();
        port = sock->localPort();
        sock->performBlock([&] { listenFD = sock->socketFD(); });
        // One connection taken while descriptors remain, so that work done
        // only the first time (a sanitizer's type checks need descriptors of
        // their own) is behind us.
        first = Peer::connectTo(address4(port));
        auto accepted = delegate->waitFor(SocketEvent::Accept);
        ASSERT_TRUE(accepted);
        extraSockets.push_back(accepted->accepted);
        drain();  // the listener's last look for more, before descriptors run out
        acceptLog().clear();
        // Made while descriptors remain; connected once none do.
        client = Peer(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        ASSERT_TRUE(client);
    }

    bool connectClient()
    {
        const Bytes address = address4(port);
        return ::connect(client.fd(), reinterpret_cast<const sockaddr*>(address.data()),
                         static_cast<socklen_t>(address.size())) == 0;
    }

    uint16_t port = 0;
    int listenFD = -1;
    Peer first;
    Peer client;
};

TEST_F(AcceptOutOfDescriptorsTest, PendingConnectionWaitsWithGrowingPausesAndIsTakenOnceADescriptorIsFree)
{
    SKIP_WHEN_DESCRIPTORS_MUST_RUN_OUT();
    sockaddr_in clientAddress{};
    {
        DescriptorExhaustion exhaustion;
        ASSERT_TRUE(DescriptorExhaustion::noneFree());
        ASSERT_TRUE(connectClient());
        socklen_t length = sizeof clientAddress;
        ::getsockname(client.fd(), reinterpret_cast<sockaddr*>(&clientAddress), &length);

        // A listener that retried at once would pile these up within
        // microseconds; each retry must come a pause later, each pause longer.
        const auto failures = acceptLog().waitForExhaustedAttempts(listenFD, 4);
        ASSERT_EQ(failures.size(), 4u) << "the listener stopped trying to accept";
        auto least = std::chrono::milliseconds(90);
        for (size_t i = 1; i < failures.size(); ++i, least *= 2) {
            EXPECT_GE(failures[i].when - failures[i - 1].when, least) << "retry " << i;
        }
        EXPECT_EQ(delegate->count(SocketEvent::Accept), 1u);

        exhaustion.freeOne();
        auto accepted = delegate->waitFor(SocketEvent::Accept, 2);
        ASSERT_TRUE(accepted) << "the pending connection was not taken once a descriptor was free";
        extraSockets.push_back(accepted->accepted);
        EXPECT_EQ(accepted->accepted->connectedPort(), ntohs(clientAddress.sin_port));
    }

    // The connection taken late works like any other.
    extraSockets.back()->writeData(bytesOf("late"), 5, 1);
    EXPECT_EQ(textOf(client.receive(4)), "late");
}

TEST_F(AcceptOutOfDescriptorsTest, ShortageOfResourcesPausesTheListenerOtherFailuresDoNot)
{
    struct Case {
        int errorNumber;
        bool pauses;
    };
    const Case cases[] = {
        {EMFILE, true}, {ENFILE, true}, {ENOBUFS, true}, {ENOMEM, true}, {ECONNABORTED, false}, {EINTR, false},
    };
    std::vector<Peer> clients;
    for (const Case& c : cases) {
        SCOPED_TRACE(::strerrorname_np(c.errorNumber));
        acceptLog().clear();
        acceptLog().inject(c.errorNumber);
        const size_t acceptedBefore = delegate->count(SocketEvent::Accept);
        clients.push_back(Peer::connectTo(address4(port)));
        ASSERT_TRUE(clients.back());
        auto accepted = delegate->waitFor(SocketEvent::Accept, acceptedBefore + 1);
        ASSERT_TRUE(accepted) << "the connection was lost after the failure";
        extraSockets.push_back(accepted->accepted);

        const auto attempts = acceptLog().attemptsOn(listenFD);
        ASSERT_GE(attempts.size(), 2u);
        EXPECT_EQ(attempts[0].errorNumber, c.errorNumber);
        EXPECT_EQ(attempts[1].errorNumber, 0) << "the next attempt did not take the connection";
        if (c.pauses) {
            EXPECT_GE(attempts[1].when - attempts[0].when, std::chrono::milliseconds(90));
        }
        drain();
    }
}

TEST_F(AcceptOutOfDescriptorsTest, ClosingWhilePausedClosesTheListener)
{
    SKIP_WHEN_DESCRIPTORS_MUST_RUN_OUT();
    {
        DescriptorExhaustion exhaustion;
        ASSERT_TRUE(connectClient());
        ASSERT_FALSE(acceptLog().waitForExhaustedAttempts(listenFD, 1).empty());
        sock->disconnect();
        auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
        ASSERT_TRUE(disconnected);
        EXPECT_FALSE(disconnected->error);
    }
    drain();
    // The connection that was still pending ends with the listener.
    EXPECT_TRUE(client.waitForEnd());
    EXPECT_FALSE(Peer::connectTo(address4(port))) << "the listening descriptor was left open";
}

}  // namespace
}  // namespace orv::test
