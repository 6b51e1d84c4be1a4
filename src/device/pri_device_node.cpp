#include "device/pri_device_node.h"

#include "device/base_info.h"

PRiDeviceNode::PRiDeviceNode() = default;

std::shared_ptr<amd::BaseInfo> PRiDeviceNode::getBi() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bi_.lock();
}

void PRiDeviceNode::SetBaseInfo(const std::shared_ptr<amd::BaseInfo>& bi) {
    std::lock_guard<std::mutex> lock(mutex_);
    bi_ = bi;
}
