#include "app/shell/ShellLook.h"

namespace orv::shell_look {

QFont systemFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Helvetica Neue"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont badgeFont() { return systemFont(13, true); }

}  // namespace orv::shell_look
