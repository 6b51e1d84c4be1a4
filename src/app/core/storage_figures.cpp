#include "app/core/storage_figures.h"

#include "platform/mobiledevice/mobile_device.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::app {

using ui::addSaturating;
using ui::fractionOf;
using ui::subtractSaturating;

namespace {

StorageFigure physicalSize(const nimbara::PlistValue& metrics, const char* group,
                           const char* item = nullptr) {
    const nimbara::PlistValue* node = metrics.find(group);
    if (node && item) {
        node = node->find(item);
    }
    if (node && node->isDict()) {
        const nimbara::PlistValue* unknown = node->find(nimbara::md::kMetricUnknown);
        if (unknown && unknown->toBool(false)) {
            return {0, FigureSource::NotReported};
        }
    }
    const nimbara::PlistValue* size = node ? node->find("_PhysicalSize") : nullptr;
    if (!size) {
        return {};
    }
    const std::int64_t value = size->toInt64();
    return {value > 0 ? static_cast<std::uint64_t>(value) : 0, FigureSource::Reported};
}

// "a", "a and b", "a, b and c".
QString namesText(const QStringList& names) {
    QString text = names.isEmpty() ? QString() : names.constFirst();
    for (qsizetype i = 1; i < names.size(); ++i) {
        text +=
            (i + 1 == names.size() ? QStringLiteral(" and ") : QStringLiteral(", ")) + names.at(i);
    }
    return text;
}

}  // namespace

StorageFigures StorageFigures::fromMetrics(const nimbara::PlistValue& metrics) {
    StorageFigures figures;
    figures.app = physicalSize(metrics, "Application");
    figures.music = physicalSize(metrics, "Media", "Music");
    figures.movie = physicalSize(metrics, "Media", "Movie");
    figures.photoLibrary = physicalSize(metrics, "Photo", "Photo");
    figures.cameraRoll = physicalSize(metrics, "Photo", "CameraRoll");
    return figures;
}

StorageFigure& StorageFigures::at(StorageCategory category) {
    switch (category) {
        case StorageCategory::Apps:
            return app;
        case StorageCategory::Music:
            return music;
        case StorageCategory::Movies:
            return movie;
        case StorageCategory::PhotoLibrary:
            return photoLibrary;
        case StorageCategory::CameraRoll:
            break;
    }
    return cameraRoll;
}

std::vector<StorageCategory> StorageFigures::startCounting() {
    std::vector<StorageCategory> wanted;
    for (const StorageCategory category :
         {StorageCategory::PhotoLibrary, StorageCategory::CameraRoll, StorageCategory::Music,
          StorageCategory::Movies, StorageCategory::Apps}) {
        StorageFigure& figure = at(category);
        if (figure.source == FigureSource::NotReported) {
            figure.source = FigureSource::Counting;
            wanted.push_back(category);
        }
    }
    return wanted;
}

void StorageFigures::takeCount(const nimbara::filemanager::StorageCountStep& step) {
    const bool done = step.status == nimbara::filemanager::StorageScanStatus::Done;
    for (const auto& [category, bytes] : step.figures) {
        StorageFigure& figure = at(category);
        if (figure.source == FigureSource::Counting) {
            figure = done ? StorageFigure{bytes, FigureSource::Counted}
                          : StorageFigure{0, FigureSource::NotReported};
        }
    }
}

void StorageFigures::endCounting() {
    for (StorageFigure* figure : {&app, &music, &movie, &photoLibrary, &cameraRoll}) {
        if (figure->source == FigureSource::Counting) {
            *figure = {0, FigureSource::NotReported};
        }
    }
}

bool StorageFigures::counting() const {
    for (const StorageFigure* figure : {&app, &music, &movie, &photoLibrary, &cameraRoll}) {
        if (figure->source == FigureSource::Counting) {
            return true;
        }
    }
    return false;
}

StorageFigure StorageFigures::photo() const {
    StorageFigure photo;
    photo.bytes = addSaturating(photoLibrary.known() ? photoLibrary.bytes : 0,
                                cameraRoll.known() ? cameraRoll.bytes : 0);
    const auto either = [&](FigureSource source) {
        return photoLibrary.source == source || cameraRoll.source == source;
    };
    if (either(FigureSource::Counting)) {
        photo.source = FigureSource::Counting;
    } else if (either(FigureSource::Counted)) {
        photo.source = FigureSource::Counted;
    } else if (either(FigureSource::Reported)) {
        photo.source = FigureSource::Reported;
    } else {
        photo.source = FigureSource::NotReported;
    }
    return photo;
}

QString storageLegendText(const QString& caption, const StorageFigure& figure) {
    QString value;
    switch (figure.source) {
        case FigureSource::Reported:
            value = nimbara::shell::size_to_unit(figure.bytes);
            break;
        case FigureSource::Counted:
            value = nimbara::shell::size_to_unit(figure.bytes) + QStringLiteral("*");
            break;
        case FigureSource::NotReported:
            value = QStringLiteral("not reported");
            break;
        case FigureSource::Counting:
            value = QStringLiteral("counting\u2026");
            break;
    }
    return caption + QStringLiteral(": ") + value;
}

QString storageLegendToolTip(const StorageFigure& figure) {
    switch (figure.source) {
        case FigureSource::Reported:
            break;
        case FigureSource::Counted:
            return QStringLiteral("Counted by Nimbara");
        case FigureSource::NotReported:
            return QStringLiteral("Not reported by this device");
        case FigureSource::Counting:
            return QStringLiteral("Being counted on the device");
    }
    return {};
}

QString notReportedSentence(const QStringList& categories) {
    if (categories.isEmpty()) {
        return {};
    }
    return QStringLiteral(
               "Not reported by this device: %1. The space they take counts under Others.")
        .arg(namesText(categories));
}

QString storageFiguresNote(const StorageFigures& figures) {
    QStringList notReported;
    QStringList counting;
    QStringList counted;
    const auto listOf = [&](FigureSource source) -> QStringList* {
        switch (source) {
            case FigureSource::Reported:
                break;
            case FigureSource::NotReported:
                return &notReported;
            case FigureSource::Counting:
                return &counting;
            case FigureSource::Counted:
                return &counted;
        }
        return nullptr;
    };
    // The photos are named as one while both parts came the same way, else by their parts.
    const bool photoSplit = figures.photoLibrary.source != figures.cameraRoll.source;
    const struct {
        const StorageFigure& figure;
        const char* name;
    } categories[] = {{figures.photoLibrary, "photos"},
                      {figures.music, "music"},
                      {figures.movie, "movies"},
                      {figures.app, "apps"}};
    for (const auto& entry : categories) {
        if (&entry.figure == &figures.photoLibrary && photoSplit) {
            continue;
        }
        if (QStringList* list = listOf(entry.figure.source)) {
            *list << QString::fromLatin1(entry.name);
        }
    }
    if (photoSplit) {
        if (QStringList* list = listOf(figures.photoLibrary.source)) {
            *list << QStringLiteral("the photo library");
        }
        if (QStringList* list = listOf(figures.cameraRoll.source)) {
            *list << QStringLiteral("the camera roll");
        }
    }
    QStringList sentences;
    if (!counted.isEmpty()) {
        sentences << QStringLiteral("* Counted by Nimbara: %1.").arg(namesText(counted));
    }
    if (!counting.isEmpty()) {
        sentences << QStringLiteral("Counting %1 on the device\u2026").arg(namesText(counting));
    }
    if (!notReported.isEmpty()) {
        sentences << notReportedSentence(notReported);
    }
    return sentences.join(QLatin1Char(' '));
}

}  // namespace nimbara::app
