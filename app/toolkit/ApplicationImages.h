#pragma once
// The application's images by name ("icon_pdf", "icon_folder", "loading"...).
// The application installs the lookup that knows where its images live;
// without one, Qt resources under ":/images/<name>.png" are tried.

#include <QImage>
#include <QString>
#include <functional>

namespace orv {

using NamedImageProvider = std::function<QImage(const QString& name)>;

// Installs the lookup; an empty function restores the default. Thread-safe.
void setNamedImageProvider(NamedImageProvider provider);
// The image of that name; null when there is none.
QImage namedImage(const QString& name);

}  // namespace orv
