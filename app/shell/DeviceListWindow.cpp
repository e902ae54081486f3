#include "app/shell/DeviceListWindow.h"

#include <QHBoxLayout>

#include "app/shell/L10n.h"

namespace orv {

DeviceListWindow::DeviceListWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), listButton_(new QComboBox(this)), connectButton_(new QPushButton(this))
{
    setObjectName(QStringLiteral("DeviceListWindow"));
    connectButton_->setText(L10n::text("Connect"));
    listButton_->setMinimumWidth(280);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(listButton_, 1);
    layout->addWidget(connectButton_);
    connect(connectButton_, &QPushButton::clicked, this, &DeviceListWindow::connectAction);
}

void DeviceListWindow::addItem(const QString& title, int64_t tag)
{
    listButton_->addItem(title, QVariant::fromValue<qlonglong>(tag));
}

int DeviceListWindow::indexOfTag(int64_t tag) const
{
    return listButton_->findData(QVariant::fromValue<qlonglong>(tag));
}

void DeviceListWindow::removeItemWithTag(int64_t tag)
{
    const int index = indexOfTag(tag);
    if (index >= 0)
        listButton_->removeItem(index);
}

std::optional<int64_t> DeviceListWindow::selectedTag() const
{
    if (listButton_->currentIndex() < 0)
        return std::nullopt;
    return listButton_->currentData().toLongLong();
}

}  // namespace orv
