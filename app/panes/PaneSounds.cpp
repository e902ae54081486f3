#include "app/panes/PaneSounds.h"

#include <canberra.h>

#include <mutex>

#include "app/shell/Prefs.h"

namespace orv {

namespace {

// One libcanberra context for the process, made on first use. A context that
// cannot be made (no sound server, no device) leaves the sounds silent.
class CanberraSounds final : public PaneSounds {
public:
    ~CanberraSounds() override
    {
        if (context_)
            ca_context_destroy(context_);
    }

    void play(Sound sound) override
    {
        std::call_once(opened_, [this] {
            if (ca_context_create(&context_) != CA_SUCCESS) {
                context_ = nullptr;
                return;
            }
            ca_context_change_props(context_, CA_PROP_APPLICATION_NAME, "Orvane", nullptr);
            if (ca_context_open(context_) != CA_SUCCESS) {
                ca_context_destroy(context_);
                context_ = nullptr;
            }
        });
        if (!context_)
            return;
        const char* id = sound == Sound::Error ? "dialog-error" : "complete";
        ca_context_play(context_, 0, CA_PROP_EVENT_ID, id, nullptr);
    }

private:
    std::once_flag opened_;
    ca_context* context_ = nullptr;
};

PaneSounds* replacement = nullptr;

}  // namespace

PaneSounds& PaneSounds::current()
{
    static CanberraSounds application;
    return replacement ? *replacement : application;
}

void PaneSounds::setCurrent(PaneSounds* sounds) { replacement = sounds; }

void PaneSounds::playIfEnabled(Sound sound)
{
    if (Prefs::shared().boolValue(QStringLiteral("UseSoundEffect")))
        current().play(sound);
}

}  // namespace orv
