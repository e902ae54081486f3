#include "app/shell/Prefs.h"

#include <QCoreApplication>
#include <QSettings>

namespace orv {

namespace {

const std::vector<std::pair<QString, QVariant>>& applicationDefaults()
{
    static const std::vector<std::pair<QString, QVariant>> table = {
        {QStringLiteral("DisableMemThumbnailCache"), false},
        {QStringLiteral("DisableDiskThumbnailCache"), false},
        {QStringLiteral("UseWatchCommand"), true},
        {QStringLiteral("InstallUncaughtExceptionHandler"), true},
        {QStringLiteral("InstallUncaughtSignalHandler"), true},
        {QStringLiteral("ShowLeftBadge"), true},
        {QStringLiteral("ShowProgressFilePath"), false},
        {QStringLiteral("launchAtLogin"), false},
        {QStringLiteral("ShowHiddenFiles"), false},
        {QStringLiteral("UseSoundEffect"), true},
        {QStringLiteral("UseFaceDetection"), true},
        {QStringLiteral("ShowProgressPanelDelay"), 1.75},
    };
    return table;
}

QString nameOr(const QString& name, const char* fallback)
{
    return name.isEmpty() ? QString::fromLatin1(fallback) : name;
}

// Values read back from the file are text while fresh writes keep their
// type, so two values are compared through their text.
bool sameValue(const QVariant& a, const QVariant& b)
{
    return a.isValid() == b.isValid() && a.toString() == b.toString();
}

}  // namespace

Prefs& Prefs::shared()
{
    static Prefs* instance = new Prefs;  // lives as long as the process
    return *instance;
}

QSettings Prefs::settings()
{
    // The same file a plain QSettings() opens once the application has named
    // itself, so code that reads QSettings directly sees these values.
    return QSettings(nameOr(QCoreApplication::organizationName(), "Orvane"),
                     nameOr(QCoreApplication::applicationName(), "Orvane"));
}

void Prefs::registerUserDefaults()
{
    Prefs& prefs = shared();
    for (const auto& [key, value] : applicationDefaults())
        prefs.registerDefault(key, value);
    prefs.sync();
}

const std::vector<std::pair<QString, QVariant>>& Prefs::registeredDefaults()
{
    Prefs& prefs = shared();
    std::lock_guard lock(prefs.mutex_);
    return prefs.defaults_;
}

void Prefs::registerDefault(const QString& key, const QVariant& value)
{
    std::lock_guard lock(mutex_);
    for (auto& entry : defaults_) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    defaults_.emplace_back(key, value);
}

QVariant Prefs::value(const QString& key) const
{
    QSettings store = settings();
    if (store.contains(key))
        return store.value(key);
    std::lock_guard lock(mutex_);
    for (const auto& entry : defaults_) {
        if (entry.first == key)
            return entry.second;
    }
    return {};
}

bool Prefs::hasStoredValue(const QString& key) const { return settings().contains(key); }

void Prefs::setValue(const QString& key, const QVariant& newValue)
{
    const QVariant before = value(key);
    {
        QSettings store = settings();
        store.setValue(key, newValue);
        store.sync();
    }
    if (!sameValue(value(key), before))
        emit changed(key);
}

void Prefs::remove(const QString& key)
{
    const QVariant before = value(key);
    {
        QSettings store = settings();
        store.remove(key);
        store.sync();
    }
    if (!sameValue(value(key), before))
        emit changed(key);
}

void Prefs::sync() { settings().sync(); }

QString Prefs::encodeKeyPart(const QString& text)
{
    return QString::fromLatin1(text.toUtf8().toPercentEncoding(QByteArray(), QByteArray(), '%'));
}

}  // namespace orv
