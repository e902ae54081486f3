#include "app/shell/ConnectionErrorPanel.h"

#include "app/shell/ShellLook.h"

namespace orv {

namespace {
constexpr int kTextWidth = 460;
}

ConnectionErrorPanel::ConnectionErrorPanel(QWidget* parent)
    : QWidget(parent), title_(new QLabel(this)), explanation_(new QLabel(this)), button_(new QPushButton(this)), gear_(new SpinningGear(this))
{
    title_->setFont(shell_look::systemFont(24, true));
    title_->setStyleSheet(QStringLiteral("color: #45474b;"));
    title_->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    title_->setWordWrap(true);
    explanation_->setFont(shell_look::systemFont(14));
    explanation_->setStyleSheet(QStringLiteral("color: #8f9297;"));
    explanation_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    explanation_->setWordWrap(true);
    explanation_->setTextFormat(Qt::PlainText);
    button_->setCursor(Qt::PointingHandCursor);
    button_->setStyleSheet(QStringLiteral(
        "QPushButton { color: white; background: #007eff; border: 1px solid #0a6fd8; border-radius: 5px; padding: 4px 15px; font-size: 13px; }"
        "QPushButton:pressed { background: #0a6fd8; }"
        "QPushButton:disabled { background: #8fc3fa; border-color: #8fc3fa; }"));
    gear_->setFixedSize(16, 16);
}

void ConnectionErrorPanel::setTexts(const QString& title, const QString& explanation, const QString& buttonTitle)
{
    title_->setText(title);
    explanation_->setText(explanation);
    button_->setText(buttonTitle);
    button_->setVisible(!buttonTitle.isEmpty());
    layoutContents();
}

void ConnectionErrorPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutContents();
}

void ConnectionErrorPanel::layoutContents()
{
    const int textWidth = std::min(kTextWidth, width() - 40);
    const int x = (width() - textWidth) / 2;
    const int titleHeight = title_->heightForWidth(textWidth);
    const int textHeight = explanation_->heightForWidth(textWidth);
    const int buttonHeight = 30;
    const int total = titleHeight + 16 + textHeight + 28 + buttonHeight;
    int y = (height() - total) / 2 - 20;
    title_->setGeometry(x, y, textWidth, titleHeight);
    y += titleHeight + 16;
    explanation_->setGeometry(x, y, textWidth, textHeight);
    y += textHeight + 28;
    // Sized to its title, then 30 wider.
    const int buttonWidth = button_->sizeHint().width() + 30;
    button_->setGeometry((width() - buttonWidth) / 2, y, buttonWidth, buttonHeight);
    gear_->move((width() - gear_->width()) / 2, y + buttonHeight + 14);
}

}  // namespace orv
