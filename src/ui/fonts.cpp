#include "ui/fonts.h"

#include <QStringList>
#include <algorithm>
#include <mutex>

namespace nimbara::ui {

void installFontSubstitutions() {
    static std::once_flag once;
    std::call_once(once, [] {
        QFont::insertSubstitutions(QString::fromLatin1(kAppFontFamily),
                                   {QString::fromLatin1(kAppFontSubstitute)});
    });
}

QFont appFont(int pointSize, bool bold) {
    installFontSubstitutions();
    QFont font(QString::fromLatin1(kAppFontFamily));
    font.setPointSize(std::max(1, pointSize));
    font.setBold(bold);
    return font;
}

}  // namespace nimbara::ui
