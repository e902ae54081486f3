#pragma once
// The user's preferences: QSettings of the application with registered
// defaults (a key never written reads as its default) and a changed() signal
// for every write made through this object. Reads may come from any thread;
// writes and the signal belong to the main thread.

#include <QObject>
#include <QString>
#include <QVariant>
#include <mutex>
#include <utility>
#include <vector>

class QSettings;

namespace orv {

class Prefs : public QObject {
    Q_OBJECT

public:
    // The process's instance.
    static Prefs& shared();

    // Registers the application's twelve defaults, in their fixed order, and
    // synchronises the settings. Idempotent.
    static void registerUserDefaults();

    // The registered defaults, in registration order.
    static const std::vector<std::pair<QString, QVariant>>& registeredDefaults();

    // The stored value, else the registered default, else an invalid QVariant.
    QVariant value(const QString& key) const;
    bool boolValue(const QString& key) const { return value(key).toBool(); }
    double doubleValue(const QString& key) const { return value(key).toDouble(); }
    QString stringValue(const QString& key) const { return value(key).toString(); }
    // True when a value is stored for the key (a default does not count).
    bool hasStoredValue(const QString& key) const;

    // Stores the value, writes it out at once and emits changed(key) when the
    // value read back differs from before.
    void setValue(const QString& key, const QVariant& value);
    // Forgets the stored value (the default shows again); emits changed(key)
    // when that changes what value() answers.
    void remove(const QString& key);
    void sync();

    // Text that is safe inside a settings key whatever it holds (QSettings
    // reads "/" as a group separator and "\\" as an escape): every byte
    // outside [A-Za-z0-9._~-] is percent-encoded.
    static QString encodeKeyPart(const QString& text);

signals:
    void changed(const QString& key);

private:
    Prefs() = default;
    static QSettings settings();
    void registerDefault(const QString& key, const QVariant& value);

    mutable std::mutex mutex_;
    std::vector<std::pair<QString, QVariant>> defaults_;
};

}  // namespace orv
