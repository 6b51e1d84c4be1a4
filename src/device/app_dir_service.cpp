#include "device/app_dir_service.h"

namespace amd {

int AppDirService::Init(int /*deviceIndex*/) {
    return 1;
}

int AppDirService::Init(int deviceIndex, const std::string& bundleId) {
    int rc = BaseService::Init(deviceIndex);
    if (rc != 0) {
        return rc;
    }
    CloseAfcConnection();
    return RunInBracket(*device_, [&] {
        std::unique_ptr<nimbara::md::ServiceConnection> connection;
        const int started = device_->handle()->startHouseArrestService(bundleId, connection);
        if (started != 0) {
            return started;
        }
        if (!connection) {
            return 1;
        }
        setConnection(std::move(connection));
        return OpenAfcConnection();
    });
}

}  // namespace amd
