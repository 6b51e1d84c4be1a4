// The AFC operations inside one app's data container, opened through house arrest.
#pragma once

#include <string>

#include "device/afc_service.h"

namespace amd {

class AppDirService : public AfcService {
  public:
    // A container is opened only by naming its app: this one-argument form returns 1 and binds
    // nothing, so a forgotten bundle identifier never lands in the media area instead.
    int Init(int deviceIndex) override;

    // Binds to the device and, inside one device bracket, opens the app's container and AFC on
    // it: the first nonzero result, else 0. A failure means the app isn't installed or doesn't
    // share its container; every later operation then fails.
    int Init(int deviceIndex, const std::string& bundleId);
};

}  // namespace amd
