#include "app/shell/FirstLaunchDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/shell/L10n.h"

namespace orv {

FirstLaunchDialog::FirstLaunchDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(L10n::text("Welcome"));
    auto* text = new QLabel(L10n::text("Do you want auto-launch Orvane?"), this);
    text->setWordWrap(true);
    text->setObjectName(QStringLiteral("firstLaunchText"));
    yes_ = new QPushButton(L10n::text("AutoLaunch"), this);
    no_ = new QPushButton(L10n::text("No"), this);
    yes_->setDefault(true);
    connect(yes_, &QPushButton::clicked, this, [this] { closeAutoLaunchPanelAction(yes_); });
    connect(no_, &QPushButton::clicked, this, [this] { closeAutoLaunchPanelAction(no_); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(no_);
    buttons->addWidget(yes_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(18);
    layout->addWidget(text);
    layout->addLayout(buttons);
    setFixedWidth(420);
}

void FirstLaunchDialog::closeAutoLaunchPanelAction(QPushButton* sender)
{
    done(sender == yes_ ? kYesCode : kNoCode);
}

}  // namespace orv
