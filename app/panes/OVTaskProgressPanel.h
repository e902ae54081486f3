#pragma once
// The progress sheet of a pane's transfer: a window-modal dialog with the
// operation's title, the current file, a bar (0 to 100, or indeterminate),
// the speed and byte counts, and Cancel. Cancel, Escape and closing the
// window all emit cancelProgressPanelAction(); the pane decides what ends.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orv {

class OVTaskProgressPanel : public QDialog {
    Q_OBJECT

public:
    // A new panel on `parent`'s window (not shown yet).
    static OVTaskProgressPanel* panelWithDelegate(QWidget* parent);

    QProgressBar* bar() const { return bar_; }
    QLabel* titleField() const { return titleField_; }
    QLabel* textField() const { return textField_; }
    QLabel* speedField() const { return speedField_; }
    QPushButton* button() const { return button_; }

    // A value in 0..100, or indeterminate (a moving bar).
    void setProgress(double percent);
    void setIndeterminate();
    bool isIndeterminate() const;

    void cancelProgressPanelAction();

signals:
    void cancelRequested();

protected:
    // Escape and the window's close button cancel, as the button does.
    void reject() override;

private:
    explicit OVTaskProgressPanel(QWidget* parent);

    QProgressBar* bar_ = nullptr;
    QLabel* titleField_ = nullptr;
    QLabel* textField_ = nullptr;
    QLabel* speedField_ = nullptr;
    QPushButton* button_ = nullptr;
};

}  // namespace orv
