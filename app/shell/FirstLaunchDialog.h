#pragma once
// The first-launch question: may Orvane open by itself when a phone is
// plugged in? exec() answers kYesCode or kNoCode.

#include <QDialog>

class QPushButton;

namespace orv {

class FirstLaunchDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kYesCode = 1;
    static constexpr int kNoCode = 2;

    explicit FirstLaunchDialog(QWidget* parent = nullptr);

    QPushButton* yesButton() const { return yes_; }
    QPushButton* noButton() const { return no_; }

private:
    void closeAutoLaunchPanelAction(QPushButton* sender);

    QPushButton* yes_ = nullptr;
    QPushButton* no_ = nullptr;
};

}  // namespace orv
