#pragma once
// What a drag out of a pane carries: "text/uri-list" only, whose data is made
// when the drop target first asks for it (the exporter copies the files off
// the phone then). Owns its exporter, so the staged copies live as long as the
// drag's data and a grace period after.

#include <QMimeData>
#include <memory>

#include "app/panes/OVDragOutExporter.h"

namespace orv {

class OVDragOutMimeData : public QMimeData {
    Q_OBJECT
public:
    explicit OVDragOutMimeData(std::unique_ptr<OVDragOutExporter> exporter);
    ~OVDragOutMimeData() override;

    OVDragOutExporter& exporter() const { return *exporter_; }
    QStringList formats() const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    std::unique_ptr<OVDragOutExporter> exporter_;
};

}  // namespace orv
