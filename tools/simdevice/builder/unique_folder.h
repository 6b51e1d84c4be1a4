// The staging folders of the device and backup writers (see platform/unique_folder.h).
#pragma once

#include "platform/unique_folder.h"

namespace nimbara::simdev {

using nimbara::UniqueFolder;

}  // namespace nimbara::simdev
