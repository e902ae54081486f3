#pragma once
// The panel shown inside the loading cover when the phone could not be
// loaded: a title, an explanation, one blue button (hidden when it has no
// title) and a small spinner that turns while a retry runs.

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "app/shell/SpinningGear.h"

namespace orv {

class ConnectionErrorPanel : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionErrorPanel(QWidget* parent = nullptr);

    // An empty button title hides the button.
    void setTexts(const QString& title, const QString& explanation, const QString& buttonTitle);
    QString title() const { return title_->text(); }
    QString explanation() const { return explanation_->text(); }
    QPushButton* button() const { return button_; }
    SpinningGear* gear() const { return gear_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutContents();

    QLabel* title_;
    QLabel* explanation_;
    QPushButton* button_;
    SpinningGear* gear_;
};

}  // namespace orv
