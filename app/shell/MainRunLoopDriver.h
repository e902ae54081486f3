#pragma once
// Runs a run loop (the main one) inside Qt's event loop: one pass whenever
// the loop's wake descriptor becomes readable and whenever its next timer or
// delayed perform falls due. Made and used on the loop's own thread.

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <memory>

#include "platform/RunLoop.h"

namespace orv {

class MainRunLoopDriver : public QObject {
    Q_OBJECT

public:
    // Throws orv::Exception "RunLoopMisuse" off the loop's thread.
    explicit MainRunLoopDriver(RunLoop& loop = RunLoop::main(), QObject* parent = nullptr);
    ~MainRunLoopDriver() override;

private:
    void pass();
    void rearmTimer();

    std::shared_ptr<RunLoop> loop_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer timer_;
};

}  // namespace orv
