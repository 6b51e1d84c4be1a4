#include "ui/fonts.h"

#include <QStringList>
#include <algorithm>
#include <mutex>

namespace nimbara::ui {

void installFontSubstitutions() {
    static std::once_flag once;
    std::call_once(once, [] {
        // DejaVu Sans draws the text; a character it lacks comes from the emoji font first.
        QFont::insertSubstitutions(
            QString::fromLatin1(kAppFontFamily),
            {QString::fromLatin1(kAppFontSubstitute), QString::fromLatin1(kEmojiFontFamily)});
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
