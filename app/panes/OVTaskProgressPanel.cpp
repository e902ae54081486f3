#include "app/panes/OVTaskProgressPanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "app/shell/L10n.h"

namespace orv {

OVTaskProgressPanel* OVTaskProgressPanel::panelWithDelegate(QWidget* parent)
{
    return new OVTaskProgressPanel(parent ? parent->window() : nullptr);
}

OVTaskProgressPanel::OVTaskProgressPanel(QWidget* parent) : QDialog(parent)
{
    setWindowModality(Qt::WindowModal);
    setModal(true);
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);
    titleField_ = new QLabel(this);
    QFont bold = titleField_->font();
    bold.setBold(true);
    titleField_->setFont(bold);
    textField_ = new QLabel(this);
    textField_->setTextFormat(Qt::PlainText);
    textField_->setMinimumWidth(380);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    speedField_ = new QLabel(this);
    button_ = new QPushButton(L10n::text("Cancel"), this);
    button_->setAutoDefault(false);
    connect(button_, &QPushButton::clicked, this, &OVTaskProgressPanel::cancelProgressPanelAction);
    layout->addWidget(titleField_);
    layout->addWidget(textField_);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addWidget(speedField_, 1);
    row->addWidget(button_);
    layout->addLayout(row);
}

void OVTaskProgressPanel::setProgress(double percent)
{
    if (!std::isfinite(percent)) {
        setIndeterminate();
        return;
    }
    bar_->setRange(0, 100);
    bar_->setValue(static_cast<int>(std::clamp(percent, 0.0, 100.0)));
}

void OVTaskProgressPanel::setIndeterminate() { bar_->setRange(0, 0); }

bool OVTaskProgressPanel::isIndeterminate() const { return bar_->maximum() == 0; }

void OVTaskProgressPanel::cancelProgressPanelAction() { emit cancelRequested(); }

void OVTaskProgressPanel::reject() { emit cancelRequested(); }

}  // namespace orv
