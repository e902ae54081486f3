#include "app/panes/OVDragOutMimeData.h"

namespace orv {
namespace {

const QString kUriList = QStringLiteral("text/uri-list");

}  // namespace

OVDragOutMimeData::OVDragOutMimeData(std::unique_ptr<OVDragOutExporter> exporter) : exporter_(std::move(exporter)) {}

OVDragOutMimeData::~OVDragOutMimeData() = default;

QStringList OVDragOutMimeData::formats() const
{
    return {kUriList};
}

QVariant OVDragOutMimeData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != kUriList)
        return {};
    const QList<QUrl> urls = exporter_->stage();
    if (type.id() == QMetaType::QByteArray || type.id() == QMetaType::QString) {
        QByteArray text;
        for (const QUrl& url : urls)
            text += url.toEncoded() + "\r\n";
        return type.id() == QMetaType::QString ? QVariant(QString::fromUtf8(text)) : QVariant(text);
    }
    QList<QVariant> list;
    for (const QUrl& url : urls)
        list << url;
    return list;
}

}  // namespace orv
