#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "app/shell/CrashHandlers.h"

namespace orv {
namespace {

struct ChildResult {
    std::string output;
    int status = 0;
};

// Runs `body` in a forked child whose standard output is captured.
template <typename Body>
ChildResult runChild(Body body)
{
    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        body();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    ChildResult result;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<size_t>(got));
    ::close(pipeFds[0]);
    ::waitpid(pid, &result.status, 0);
    return result;
}

TEST(CrashHandlersTest, SignalIsReportedAndStillEndsTheProcess)
{
    for (int signalNumber : {SIGHUP, SIGQUIT, SIGABRT, SIGTERM, SIGUSR1, SIGUSR2, SIGSYS, SIGTRAP}) {
        SCOPED_TRACE(strsignal(signalNumber));
        const ChildResult child = runChild([signalNumber] {
            crash_handlers::installUncaughtSignalHandler();
            ::raise(signalNumber);
            ::pause();  // not reached: the signal ends the process
        });
        ASSERT_TRUE(WIFSIGNALED(child.status));
        EXPECT_EQ(WTERMSIG(child.status), signalNumber);
        const std::string banner = "--------------Orvane Signal Handler------------";
        EXPECT_EQ(child.output.find("\n\n" + banner + "\nsignal:" + std::to_string(signalNumber) +
                                    "\ncallStackSymbols:\n"),
                  0u)
            << child.output;
        EXPECT_EQ(child.output.rfind(banner), child.output.size() - banner.size());
    }
}

TEST(CrashHandlersTest, SignalsLeftAloneKeepTheirHandling)
{
    const ChildResult child = runChild([] {
        crash_handlers::installUncaughtSignalHandler({SIGTERM});
        ::raise(SIGTERM);
    });
    ASSERT_TRUE(WIFSIGNALED(child.status));
    EXPECT_EQ(WTERMSIG(child.status), SIGTERM);
    EXPECT_TRUE(child.output.empty()) << child.output;
}

TEST(CrashHandlersTest, EscapedExceptionIsReportedThenAborts)
{
    const ChildResult child = runChild([] {
        crash_handlers::installUncaughtExceptionHandler();
        try {
            throw std::runtime_error("bad phone reply");
        } catch (...) {
            std::terminate();
        }
    });
    ASSERT_TRUE(WIFSIGNALED(child.status));
    EXPECT_EQ(WTERMSIG(child.status), SIGABRT);
    EXPECT_NE(child.output.find("-------Orvane Uncaught Exception Handler--------\nexception:\n"), std::string::npos);
    EXPECT_NE(child.output.find("bad phone reply"), std::string::npos);
    EXPECT_NE(child.output.find("callStackSymbols:"), std::string::npos);
}

TEST(CrashHandlersTest, WritingToAClosedPipeDoesNotEndTheProcess)
{
    const ChildResult child = runChild([] {
        crash_handlers::ignoreBrokenPipes();
        int fds[2];
        if (::pipe(fds) != 0)
            ::_exit(2);
        ::close(fds[0]);
        const bool failedWithEpipe = ::write(fds[1], "x", 1) < 0 && errno == EPIPE;
        ::_exit(failedWithEpipe ? 0 : 3);
    });
    ASSERT_TRUE(WIFEXITED(child.status));
    EXPECT_EQ(WEXITSTATUS(child.status), 0);
}

}  // namespace
}  // namespace orv
