#pragma once
// What the grid benchmarks share: waiting for a window to be exposed, running
// what the event loop runs after a change, and timing page-by-page scrolling.

#include <benchmark/benchmark.h>

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QScrollBar>
#include <QWidget>
#include <QWindow>
#include <chrono>

namespace orv::bench {

// Painting (on the update requests that flushPostedEvents delivers) happens
// only once the window system has exposed the window.
inline void waitUntilExposed(QWidget& widget)
{
    QDeadlineTimer deadline(10000);
    while (!(widget.windowHandle() && widget.windowHandle()->isExposed()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

inline void flushPostedEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// One iteration: one page down (a jump back to the top when the end is reached is not timed).
template <class Step>
void pageSteps(benchmark::State& state, QAbstractScrollArea& area, Step&& afterStep)
{
    flushPostedEvents();
    QScrollBar* bar = area.verticalScrollBar();
    std::chrono::steady_clock::duration scrolling{}, painting{};
    bar->setValue(0);
    if (bar->maximum() <= 0) {
        state.SkipWithError("nothing to scroll");
        return;
    }
    for (auto _ : state) {
        if (bar->value() >= bar->maximum()) {
            state.PauseTiming();
            bar->setValue(0);
            flushPostedEvents();
            state.ResumeTiming();
        }
        const auto start = std::chrono::steady_clock::now();
        bar->setValue(bar->value() + bar->pageStep());
        const auto scrolled = std::chrono::steady_clock::now();
        // What the event loop does after a scroll: paint what changed, delete what was dropped.
        flushPostedEvents();
        scrolling += scrolled - start;
        painting += std::chrono::steady_clock::now() - scrolled;
        afterStep();
    }
    using us = std::chrono::duration<double, std::micro>;
    state.counters["scroll_us"] = us(scrolling).count() / state.iterations();
    state.counters["paint_us"] = us(painting).count() / state.iterations();
    state.counters["pages"] = static_cast<double>(bar->maximum()) / bar->pageStep();
}

}  // namespace orv::bench
