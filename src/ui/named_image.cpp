#include "ui/named_image.h"

#include "platform/log_categories.h"
#include "ui/image_catalog.h"
#include "ui/image_catalog_render.h"

#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#include <algorithm>

namespace nimbara::ui {
namespace {

const QString kPngSuffix = QStringLiteral(".png");

QString stemOf(const QString& name) {
    return name.endsWith(kPngSuffix) ? name.chopped(kPngSuffix.size()) : name;
}

// Drawn images, kept for the whole run so that every look-up of a name gives the same pixmap
// (check boxes compare their image with the named image).
struct ImageStore {
    QMutex mutex;
    QHash<QString, QPixmap> pixmaps;
    QSet<QString> reportedMissing;
};

ImageStore& store() {
    static ImageStore instance;
    return instance;
}

}  // namespace

QPixmap namedImage(const QString& name) {
    const QString stem = stemOf(name);
    ImageStore& images = store();
    QMutexLocker lock(&images.mutex);
    if (const auto found = images.pixmaps.constFind(stem); found != images.pixmaps.cend()) {
        return found.value();
    }
    const ImageRecipe* recipe = findImageRecipe(stem);
    if (recipe == nullptr) {
        if (!images.reportedMissing.contains(stem)) {
            images.reportedMissing.insert(stem);
            qCWarning(lcUi) << "no image named" << name;
        }
        return {};
    }
    if (qGuiApp == nullptr) {
        qCWarning(lcUi) << "image" << name << "asked for before the application exists";
        return {};
    }
    QPixmap pixmap = QPixmap::fromImage(renderImageRecipe(*recipe));
    images.pixmaps.insert(stem, pixmap);
    return pixmap;
}

bool hasNamedImage(const QString& name) {
    return findImageRecipe(stemOf(name)) != nullptr;
}

QStringList namedImageList() {
    QStringList names;
    for (const ImageRecipe& recipe : imageCatalog()) {
        names.append(QString::fromLatin1(recipe.name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

QIcon namedIcon(const QString& name) {
    const QPixmap pixmap = namedImage(name);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

}  // namespace nimbara::ui
