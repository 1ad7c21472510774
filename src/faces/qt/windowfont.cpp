#include "windowfont.h"

#include "text.h"
#include "window/windowdefs.h"

#include <QFontDatabase>

namespace quorlink::qtface {

QFont windowFont()
{
    const QString family = toQString(window::WindowFont.family);
    QFont font = QFontDatabase::families().contains(family)
                     ? QFont(family)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(window::WindowFont.pointSize);
    return font;
}

} // namespace quorlink::qtface
