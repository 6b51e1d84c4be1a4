// The storage manager's line on the device's whole space: the used and free figures the device's
// status shows, and what in "used" the page's own rows show apart.
#pragma once

#include <QString>

#include "device/device_space.h"

namespace nimbara::filemanager {

// "10.31GB used and 53.69GB free of 64.00GB. Used holds the system's 800.00MB free, which
// never takes your data, and 250.00MB the device frees when it needs the space." Each clause
// after the first only when its figure is not 0; empty for a device of no size.
QString deviceSpaceText(const amd::DeviceSpace& space);

}  // namespace nimbara::filemanager
