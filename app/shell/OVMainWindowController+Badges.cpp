// The sidebar's badges: counts asked of the phone and remembered per phone,
// so slow counts show at once on the next connection.

#include "app/shell/OVLeftSidebarButton.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/Prefs.h"
#include "app/shell/ShellSettings.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {

const char* const kBadgeKeys[] = {"photoBadge", "videoBadge", "audioBadge", "downloadBadge", "fileBadge"};

// The serial comes from the phone: encoded so that "/" or "\" cannot make
// groups or escapes of the settings key.
QString settingsKey(const std::string& serial, const QString& key)
{
    return QStringLiteral("dev_%1_%2").arg(Prefs::encodeKeyPart(QString::fromStdString(serial)), key);
}

}  // namespace

QString OVMainWindowController::savedInfoForKey(const QString& key) const
{
    const QVariant value = Prefs::shared().value(settingsKey(serialNumber_, key));
    return value.isValid() ? value.toString() : QString();
}

void OVMainWindowController::saveInfo(const QString& value, const QString& key)
{
    Prefs::shared().setValue(settingsKey(serialNumber_, key), value);
}

void OVMainWindowController::reloadBadge(int64_t index, bool animation, bool useCache, bool)
{
    if (closed_ || !sidebar_)
        return;
    if (!shell_settings::showLeftBadge()) {
        for (int64_t i = 0; i < 5; ++i)
            sidebar_->buttonForIndex(i)->setBadge(-1);
        return;
    }
    OVLeftSidebarButton* button = sidebar_->buttonForIndex(index);
    if (!button)
        return;
    const QString key = QLatin1String(kBadgeKeys[index]);
    if (const QString saved = savedInfoForKey(key); !saved.isNull() && useCache) {
        button->setBadge(saved.toLongLong());
        return;
    }
    if (!client_)
        return;
    if (animation)
        button->startLoadingAnimation();

    QPointer<OVMainWindowController> self(this);
    auto finish = [self, index, key](int64_t count, const std::optional<Error>& error) {
        // A reply for a closed or ejected window leaves it alone.
        if (!self || self->repliesIgnored())
            return;
        OVLeftSidebarButton* b = self->sidebar_->buttonForIndex(index);
        b->stopLoadingAnimation();
        if (error) {
            presentError(*error, self->window_);
            return;
        }
        b->setBadge(count);
        self->saveInfo(QString::number(count), key);
    };
    auto libraryCount = [finish](const char* list) {
        return [finish, list](std::optional<OVMediaLibrary> library, std::optional<Error> error) {
            if (error || !library)
                return finish(0, error ? error : std::optional<Error>(adb_errorWithCode(ADBErrorSocketNoBody)));
            const auto it = library->find(list);
            finish(it == library->end() ? 0 : static_cast<int64_t>(it->second.size()), std::nullopt);
        };
    };
    auto count = [finish](int64_t n, std::optional<Error> error) { finish(n, error); };
    switch (index) {
    case 0:
        client_->fetchPhotoLibraryWithCallback(libraryCount("photos"));
        break;
    case 1:
        client_->fetchVideoLibraryWithCallback(libraryCount("videos"));
        break;
    case 2:
        client_->fetchAudioLibraryWithCallback(libraryCount("songs"));
        break;
    case 3:
        client_->countFilesInDownload(count);
        break;
    default:
        client_->countFilesInRoot(count);
        break;
    }
}

}  // namespace orv
