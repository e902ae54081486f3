#pragma once
// The device-list window: a pop-up of the attached phones (each item tagged
// with its USB location id) and a Connect button.

#include <QComboBox>
#include <QPushButton>
#include <QWidget>
#include <cstdint>
#include <optional>

namespace orv {

class DeviceListWindow : public QWidget {
    Q_OBJECT

public:
    explicit DeviceListWindow(QWidget* parent = nullptr);

    QComboBox* listButton() const { return listButton_; }
    QPushButton* connectButton() const { return connectButton_; }

    void removeAllItems() { listButton_->clear(); }
    void addItem(const QString& title, int64_t tag);
    // Removes the first item with this tag, if any.
    void removeItemWithTag(int64_t tag);
    std::optional<int64_t> selectedTag() const;
    int indexOfTag(int64_t tag) const;

signals:
    void connectAction();

private:
    QComboBox* listButton_;
    QPushButton* connectButton_;
};

}  // namespace orv
