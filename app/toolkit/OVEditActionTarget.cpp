#include "app/toolkit/OVEditActionTarget.h"

namespace orv {

bool OVEditActionTarget::validateMenuItem(QAction* item) const
{
    OVEditActionDelegate* delegate = editActionDelegate();
    return delegate && delegate->validateMenuItem(item);
}

void OVEditActionTarget::deleteAction(QObject* sender)
{
    if (OVEditActionDelegate* delegate = editActionDelegate())
        delegate->deleteAction(sender);
}

void OVEditActionTarget::importAction()
{
    if (OVEditActionDelegate* delegate = editActionDelegate())
        delegate->importAction(list_);
}

void OVEditActionTarget::exportAction()
{
    if (OVEditActionDelegate* delegate = editActionDelegate())
        delegate->exportAction(list_);
}

}  // namespace orv
