#pragma once
// Turns SIGTERM and SIGINT into the Qt signal received() on the thread that
// made this object, so the program can quit through its event loop. The
// signal handler only writes the signal number to a pipe (about all a handler
// may safely do); a QSocketNotifier reads it. One instance per process; the
// previous handlers come back when it is destroyed.

#include <QObject>
#include <QSocketNotifier>
#include <csignal>

namespace orv {

class TerminationSignals : public QObject {
    Q_OBJECT

public:
    // Throws std::system_error when the pipe or a handler cannot be set up.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void drain();

    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

}  // namespace orv
