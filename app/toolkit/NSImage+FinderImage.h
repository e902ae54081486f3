#pragma once
// Icons for files and folders: the application's own images first, then a
// lettered icon made from "icon_other", then the desktop's icon theme.

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace orv {

// "icon_<ext>"; else "icon_other" with the extension lettered on it (made
// once per extension and kept); else the theme's icon for the type.
// Extensions are trimmed and taken in lower case.
QImage iconForFileType(const QString& extension);
QImage finderIconForSmallFolder();
QImage finderIconForLargeFolder();
// The icon theme's icon for the type (found through its MIME type); else
// "finderFileIcon". The theme is asked only on the GUI thread.
QImage finderIconForFileType(const QString& extension);
// An image of that size filled with the colour.
QImage swatchWithColor(const QColor& color, const QSize& size);

}  // namespace orv
