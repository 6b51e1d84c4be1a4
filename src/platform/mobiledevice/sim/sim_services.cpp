#include "platform/mobiledevice/sim/sim_services.h"

#include <algorithm>
#include <cstring>

#include "platform/mobiledevice/sim/sim_afc.h"
#include "platform/mobiledevice/sim/simulated_device.h"

namespace nimbara::md::sim {

SimAfcService::SimAfcService(std::shared_ptr<SimulatedDevice> device, Area area)
    : device_(std::move(device)), area_(std::move(area)) {}

SimAfcService::~SimAfcService() {
    close();
}

long SimAfcService::send(const void*, std::size_t) {
    return -1;
}

long SimAfcService::receive(void*, std::size_t) {
    return -1;
}

int SimAfcService::openAfc(std::unique_ptr<AfcConnection>& afc) {
    afc.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_) {
        return Error::NotConnected;
    }
    if (!device_->countOperation()) {
        return Error::DeviceGone;
    }
    afc = std::make_unique<SimAfcConnection>(device_, area_);
    return Error::Ok;
}

void SimAfcService::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
}

SimPlistService::SimPlistService(std::shared_ptr<SimulatedDevice> device,
                                 std::unique_ptr<PlistHandler> handler, ReplyMode mode)
    : device_(std::move(device)), handler_(std::move(handler)), mode_(mode) {}

SimPlistService::~SimPlistService() {
    close();
}

long SimPlistService::send(const void* data, std::size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || peerClosed_ || !device_->countOperation()) {
        return -1;
    }
    if (length == 0) {
        return 0;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    inbox_.insert(inbox_.end(), bytes, bytes + length);
    processInboxLocked();
    return static_cast<long>(length);
}

void SimPlistService::processInboxLocked() {
    while (!peerClosed_ && inbox_.size() >= 4) {
        const std::uint32_t length = frameLength(inbox_.data());
        if (length == 0 || length > kMaxFrameLength) {
            // A peer that breaks the framing is dropped, as a device would drop it.
            peerClosed_ = true;
            inbox_.clear();
            return;
        }
        if (inbox_.size() - 4 < length) {
            return;
        }
        auto request = PlistValue::parse(inbox_.data() + 4, length);
        inbox_.erase(inbox_.begin(), inbox_.begin() + 4 + length);
        if (!request) {
            peerClosed_ = true;
            inbox_.clear();
            return;
        }
        if (mode_ == ReplyMode::Closed) {
            peerClosed_ = true;
            return;
        }
        std::vector<PlistValue> replies;
        handler_->handle(*request, replies);
        for (const auto& reply : replies) {
            queueReplyLocked(reply);
            if (peerClosed_) {
                break;
            }
        }
    }
}

void SimPlistService::queueReplyLocked(const PlistValue& reply) {
    std::string xml = reply.toXml();
    if (xml.empty() || xml.size() > kMaxFrameLength) {
        PlistValue error = PlistValue::dict();
        error["Error"] = "APIInternalError";
        error["ErrorDescription"] = "The reply is too large.";
        xml = error.toXml();
    }
    std::size_t bodyLength = xml.size();
    if (mode_ == ReplyMode::Short) {
        bodyLength = xml.size() / 2;
    }
    const auto header = frameHeader(static_cast<std::uint32_t>(xml.size()));
    pieces_.emplace_back(header.begin(), header.end());
    for (std::size_t offset = 0; offset < bodyLength; offset += kReplyChunk) {
        const std::size_t n = std::min(kReplyChunk, bodyLength - offset);
        pieces_.emplace_back(xml.begin() + static_cast<std::ptrdiff_t>(offset),
                             xml.begin() + static_cast<std::ptrdiff_t>(offset + n));
    }
    if (mode_ == ReplyMode::Short) {
        peerClosed_ = true;
    }
}

long SimPlistService::receive(void* buffer, std::size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || !device_->countOperation()) {
        return -1;
    }
    if (pieces_.empty() || length == 0) {
        return 0;
    }
    const auto& piece = pieces_.front();
    const std::size_t n = std::min(length, piece.size() - pieceOffset_);
    std::memcpy(buffer, piece.data() + pieceOffset_, n);
    pieceOffset_ += n;
    if (pieceOffset_ == piece.size()) {
        pieces_.pop_front();
        pieceOffset_ = 0;
    }
    return static_cast<long>(n);
}

int SimPlistService::openAfc(std::unique_ptr<AfcConnection>& afc) {
    afc.reset();
    return Error::InvalidArgument;
}

void SimPlistService::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    pieces_.clear();
    inbox_.clear();
}

}  // namespace nimbara::md::sim
