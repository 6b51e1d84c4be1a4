// The storage overview's figures: the five categories of the device's storage metrics, where
// each figure came from (the device, or a count of our own, still running or done), and the
// texts the legend and the sentence under it show. Pure values, no widgets.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

#include "filemanager/storage_count.h"
#include "platform/plist_value.h"

namespace nimbara::app {

using nimbara::filemanager::StorageCategory;

enum class FigureSource {
    Reported,     // the device's own figure
    NotReported,  // the device doesn't report it and nothing counted it
    Counting,     // being counted on the device
    Counted,      // counted by this program
};

struct StorageFigure {
    std::uint64_t bytes = 0;
    FigureSource source = FigureSource::Reported;

    bool known() const {
        return source == FigureSource::Reported || source == FigureSource::Counted;
    }
};

struct StorageFigures {
    StorageFigure app;
    StorageFigure music;
    StorageFigure movie;
    StorageFigure photoLibrary;
    StorageFigure cameraRoll;

    // From "AssetMetrics" parameters: "_PhysicalSize" under each group or item (a missing key
    // or a negative number counts 0); one the device marks with kMetricUnknown is not reported.
    static StorageFigures fromMetrics(const nimbara::PlistValue& metrics);

    StorageFigure& at(StorageCategory category);
    // Marks every category not reported as being counted, and names them.
    std::vector<StorageCategory> startCounting();
    // Takes a step of the count: a scan that ended Done gives its categories their counted
    // figures; any other end leaves them not reported. Categories not being counted keep
    // their figures.
    void takeCount(const nimbara::filemanager::StorageCountStep& step);
    // Whatever is still being counted goes back to not reported.
    void endCounting();
    bool counting() const;

    // The photos as one category: both parts added up, known when either part is, counting
    // while either part is, counted when a part was counted.
    StorageFigure photo() const;
};

// A legend entry: "Music: 3.41GB", "Music: not reported", "Music: counting…", and for a figure
// of our own count "Music: 3.41GB*".
QString storageLegendText(const QString& caption, const StorageFigure& figure);
// The legend entry's tooltip: what the mark or the missing figure means ("" for a figure the
// device reported).
QString storageLegendToolTip(const StorageFigure& figure);
// The sentence under the legend ("" when every figure came from the device).
QString storageFiguresNote(const StorageFigures& figures);
// "Not reported by this device: a, b and c. The space they take counts under Others."
QString notReportedSentence(const QStringList& categories);

}  // namespace nimbara::app
