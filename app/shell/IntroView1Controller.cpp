#include "app/shell/IntroView1Controller.h"

#include <QApplication>
#include <QPalette>
#include <QVBoxLayout>

#include "app/shell/L10n.h"

namespace orv {

IntroView1Controller::IntroView1Controller()
    : view_(new OVIntroView), titleField_(new QLabel(view_)), textField_(new QLabel(view_))
{
    view_->setObjectName(QStringLiteral("IntroView1"));

    QFont titleFont = QApplication::font();
    titleFont.setPointSizeF(24);
    titleFont.setBold(true);
    titleField_->setFont(titleFont);
    titleField_->setText(L10n::text("Connect Your Phone"));
    titleField_->setStyleSheet(QStringLiteral("color: #45474b;"));
    titleField_->setAlignment(Qt::AlignHCenter);

    QFont textFont = QApplication::font();
    textFont.setPointSizeF(14);
    textField_->setFont(textFont);
    const QColor disabled = QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
    // Line spacing 7 on top of the font's own line height.
    textField_->setTextFormat(Qt::RichText);
    textField_->setText(QStringLiteral("<p style=\"line-height: %1px; color: %2;\">%3</p>")
                            .arg(QFontMetrics(textFont).lineSpacing() + 7)
                            .arg(disabled.name(), L10n::text("Please connect your phone via USB").toHtmlEscaped()));
    textField_->setAlignment(Qt::AlignHCenter);
    textField_->setWordWrap(true);

    auto* layout = new QVBoxLayout(view_);
    layout->setContentsMargins(40, 90, 40, 60);
    layout->setSpacing(16);
    layout->addWidget(titleField_);
    layout->addWidget(textField_);
    layout->addStretch();
}

IntroView1Controller::~IntroView1Controller()
{
    if (view_ && !view_->parent())
        delete view_.data();
}

}  // namespace orv
