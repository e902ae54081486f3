#include "app/shell/TerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace orv {

namespace {

volatile sig_atomic_t gWriteEnd = -1;

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // A full pipe means a quit is already on its way: dropping this is fine.
    [[maybe_unused]] auto written = ::write(gWriteEnd, &byte, 1);
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    gWriteEnd = pipe_[1];
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, &previousTerm_) != 0 || ::sigaction(SIGINT, &action, &previousInt_) != 0) {
        const int error = errno;
        ::close(pipe_[0]);
        ::close(pipe_[1]);
        gWriteEnd = -1;
        throw std::system_error(error, std::generic_category(), "sigaction");
    }
}

TerminationSignals::~TerminationSignals()
{
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    ::sigaction(SIGINT, &previousInt_, nullptr);
    gWriteEnd = -1;
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void TerminationSignals::drain()
{
    unsigned char bytes[16];
    ssize_t count = 0;
    while ((count = ::read(pipe_[0], bytes, sizeof bytes)) > 0)
        for (ssize_t i = 0; i < count; ++i)
            emit received(bytes[i]);
}

}  // namespace orv
