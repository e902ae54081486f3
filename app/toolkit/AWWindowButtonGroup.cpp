#include "app/toolkit/AWWindowButtonGroup.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>

namespace orv {

AWWindowButtonGroup::AWWindowButtonGroup(const QString& identifier) : identifier_(identifier) {}

QString AWWindowButtonGroup::defaultIdentifier() { return QStringLiteral("org.orvane.toolkit.window-buttons"); }

AWWindowButtonGroup* AWWindowButtonGroup::groupWithIdentifier(const QString& identifier)
{
    // Main thread only, like every widget. The groups last as long as the
    // application object, which owns them.
    static QHash<QString, QPointer<AWWindowButtonGroup>> groups;
    const QString key = identifier.isEmpty() ? defaultIdentifier() : identifier;
    QPointer<AWWindowButtonGroup>& group = groups[key];
    if (!group) {
        group = new AWWindowButtonGroup(key);
        group->setParent(QCoreApplication::instance());
    }
    return group;
}

void AWWindowButtonGroup::setNumberOfCaptures(qint64 count)
{
    if (count < 0 || count == numberOfCaptures_)
        return;
    numberOfCaptures_ = count;
    emit didUpdateRolloverState();
}

}  // namespace orv
