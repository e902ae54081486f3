#pragma once
// Window buttons that share a group show their rollover look together while
// the pointer is over any one of them. A group counts the buttons holding
// the pointer; groups live as long as the application object.

#include <QObject>
#include <QString>

namespace orv {

class AWWindowButtonGroup : public QObject {
    Q_OBJECT
public:
    // The group of that identifier, made on first use; an empty identifier
    // means the default group.
    static AWWindowButtonGroup* groupWithIdentifier(const QString& identifier);
    static QString defaultIdentifier();

    QString identifier() const { return identifier_; }
    qint64 numberOfCaptures() const { return numberOfCaptures_; }
    // Negative and unchanged counts are ignored.
    void setNumberOfCaptures(qint64 count);
    void didCaptureMousePointer() { setNumberOfCaptures(numberOfCaptures_ + 1); }
    void didReleaseMousePointer() { setNumberOfCaptures(numberOfCaptures_ - 1); }
    void resetMouseCaptures() { setNumberOfCaptures(0); }
    bool shouldDisplayRollOver() const { return numberOfCaptures_ > 0; }

signals:
    void didUpdateRolloverState();

private:
    explicit AWWindowButtonGroup(const QString& identifier);
    QString identifier_;
    qint64 numberOfCaptures_ = 0;
};

}  // namespace orv
