#pragma once
// When a media pane may ask the phone for its library again. Fetches start
// at most once per interval; a request that comes sooner is not dropped but
// deferred into one trailing fetch at the interval's end, however many
// requests arrive meanwhile, so the last change the phone made is always
// fetched. Pure logic on a clock the caller passes in (seconds).

namespace orv {

class OVMediaReloadThrottle {
public:
    static constexpr double kInterval = 1.5;

    enum class Decision {
        FetchNow,        // start a fetch now (the start is recorded)
        Deferred,        // a trailing fetch is due in delaySeconds; arrange it
        AlreadyDeferred  // a trailing fetch is already arranged
    };
    struct Answer {
        Decision decision;
        double delaySeconds = 0;
    };

    Answer request(double now);
    // The arranged trailing fetch starts now.
    void trailingFired(double now);
    bool hasTrailing() const { return trailing_; }
    // Forgets everything (a new phone, a pane cleaned up).
    void reset();

private:
    bool started_ = false;
    bool trailing_ = false;
    double lastStart_ = 0;
};

}  // namespace orv
