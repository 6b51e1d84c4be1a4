#include "cleanup/pages/clean_list_models.h"

#include <QPixmap>

#include "ui/core/text_utilities.h"
#include "ui/named_image.h"

namespace nimbara::cleanup {

namespace {

QString lastComponent(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

}  // namespace

PRCleanRecordsModel* makeCleanRecordsModel(QObject* parent) {
    using M = PRCleanRecordsModel;
    return new M(
        {
            M::Column{"Name",
                      [](const PRCleanDirNode& n) {
                          const QString name = n.fileName();
                          return QVariant(name.isEmpty() ? lastComponent(n.filePath()) : name);
                      }},
            M::Column{"App", [](const PRCleanDirNode& n) { return QVariant(n.appDisplayName()); }},
            M::Column{"Size", [](const PRCleanDirNode& n) { return QVariant(n.fileSize()); }},
            M::Column{"Path", [](const PRCleanDirNode& n) { return QVariant(n.filePath()); }},
        },
        parent);
}

PRAdsController* makeAdsModel(QObject* parent) {
    using M = PRAdsController;
    auto* model = new M(
        {
            M::Column{"Name", [](const PRAppAdsRemoveNode& n) { return QVariant(n.appName()); }},
            M::Column{"Version",
                      [](const PRAppAdsRemoveNode& n) { return QVariant(n.appVersion()); }},
            M::Column{"State",
                      [](const PRAppAdsRemoveNode& n) { return QVariant(n.appAdsState()); }},
            M::Column{"Ads Found",
                      [](const PRAppAdsRemoveNode& n) { return QVariant(n.appPlatformCount()); }},
        },
        parent);
    model->setIconOf([](const PRAppAdsRemoveNode& n) {
        QPixmap picture;
        const QByteArray png = n.appImage();
        if (!png.isEmpty() && picture.loadFromData(png)) {
            return QIcon(picture.scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        }
        return nimbara::ui::namedIcon(QStringLiteral("NULLImage"));
    });
    return model;
}

PRSyncFailedController* makeSyncFailedModel(QObject* parent) {
    using M = PRSyncFailedController;
    return new M(
        {
            M::Column{"Name",
                      [](const PRCleanFileNode& n) {
                          const QString name = n.fileName();
                          return QVariant(name.isEmpty() ? lastComponent(n.filePath()) : name);
                      }},
            // From the byte count: the scan keeps the device's own text for some of them.
            M::Column{"Size",
                      [](const PRCleanFileNode& n) {
                          return QVariant(nimbara::shell::size_to_unit(n.fileSizeNumber()));
                      }},
            M::Column{"Path", [](const PRCleanFileNode& n) { return QVariant(n.filePath()); }},
        },
        parent);
}

}  // namespace nimbara::cleanup
