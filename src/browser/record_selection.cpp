#include "browser/record_selection.h"

namespace nimbara::browser {

SelectionText selectionText(int tickedRecords, int tickedBackupFiles, SelectionChange change) {
    SelectionText result;
    result.total = tickedRecords + tickedBackupFiles;
    result.shown = result.total >= 1;
    if (result.shown) {
        const QString count = QString::number(result.total);
        result.text =
            change == SelectionChange::RowTick
                ? QStringLiteral("You select %1 files in the backup results.").arg(count)
                : QStringLiteral("You select %1 files in the recovery results.").arg(count);
    }
    return result;
}

}  // namespace nimbara::browser
