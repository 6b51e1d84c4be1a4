#include "filemanager/device_space_text.h"

#include <QStringList>

#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

QString deviceSpaceText(const amd::DeviceSpace& space) {
    if (space.total == 0) {
        return {};
    }
    const auto size = [](std::uint64_t bytes) { return shell::size_to_unit(bytes).trimmed(); };
    QString text = QStringLiteral("%1 used and %2 free of %3.")
                       .arg(size(space.used), size(space.free), size(space.total));
    QStringList held;
    if (space.systemFree > 0) {
        held << QStringLiteral("the system's %1 free, which never takes your data")
                    .arg(size(space.systemFree));
    }
    if (space.reclaimable > 0) {
        held << QStringLiteral("%1 the device frees when it needs the space")
                    .arg(size(space.reclaimable));
    }
    if (!held.isEmpty()) {
        text += QStringLiteral(" Used holds %1.").arg(held.join(QStringLiteral(", and ")));
    }
    return text;
}

}  // namespace nimbara::filemanager
