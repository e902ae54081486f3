#pragma once
// The panes' two sounds: an error and a completed transfer, from the
// freedesktop sound theme ("dialog-error", "complete") through libcanberra.
// Silent where there is no audio device. Tests install their own recorder.

namespace orv {

class PaneSounds {
public:
    enum class Sound { Error, Complete };

    virtual ~PaneSounds() = default;
    virtual void play(Sound sound) = 0;

    // The current implementation (the application's unless replaced).
    static PaneSounds& current();
    // Replaces it; null restores the application's. Not owned.
    static void setCurrent(PaneSounds* sounds);
    // Plays through the current implementation when "UseSoundEffect" is on.
    static void playIfEnabled(Sound sound);
};

}  // namespace orv
