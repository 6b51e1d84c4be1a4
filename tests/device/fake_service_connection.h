// A scripted service connection for the property-list channel: what receive() hands out is
// queued in pieces, and everything sent is recorded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "device/base_service.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/plist_value.h"

namespace nimbara::test {

class FakeServiceConnection : public md::ServiceConnection {
  public:
    using Bytes = std::vector<std::uint8_t>;

    // One receive() hands out at most one queued piece. Once the queue is empty, receive()
    // returns `endResult` (0: the peer closed; -1: an error).
    std::deque<Bytes> incoming;
    long endResult = 0;
    // Sends beyond this many fail with -1 (negative: never).
    int sendsAllowed = -1;

    Bytes sent;
    int sendCalls = 0;
    std::size_t bytesHandedOut = 0;
    bool closed = false;

    long send(const void* data, std::size_t length) override {
        ++sendCalls;
        if (sendsAllowed >= 0 && sendCalls > sendsAllowed) {
            return -1;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        sent.insert(sent.end(), bytes, bytes + length);
        return static_cast<long>(length);
    }

    long receive(void* buffer, std::size_t length) override {
        if (incoming.empty()) {
            return endResult;
        }
        Bytes& piece = incoming.front();
        const std::size_t n = std::min(length, piece.size());
        std::memcpy(buffer, piece.data(), n);
        piece.erase(piece.begin(), piece.begin() + static_cast<long>(n));
        if (piece.empty()) {
            incoming.pop_front();
        }
        bytesHandedOut += n;
        return static_cast<long>(n);
    }

    int openAfc(std::unique_ptr<md::AfcConnection>&) override { return md::Error::Unknown; }
    void close() override { closed = true; }

    // A 4-byte big-endian length word.
    static Bytes lengthWord(std::uint32_t length) {
        return {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
                static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    }
    // The length word and XML body of one message.
    static Bytes frame(const PlistValue& message) {
        const std::string xml = message.toXml();
        const Bytes word = lengthWord(static_cast<std::uint32_t>(xml.size()));
        Bytes bytes(word.size() + xml.size());
        std::memcpy(bytes.data(), word.data(), word.size());
        if (!xml.empty()) {
            std::memcpy(bytes.data() + word.size(), xml.data(), xml.size());
        }
        return bytes;
    }
    // Queues one message as a whole.
    void queueReply(const PlistValue& message) { incoming.push_back(frame(message)); }

    // The messages sent so far, decoded; nullopt when the bytes are not whole frames.
    std::optional<std::vector<PlistValue>> sentMessages() const {
        std::vector<PlistValue> messages;
        std::size_t at = 0;
        while (at < sent.size()) {
            if (sent.size() - at < 4) {
                return std::nullopt;
            }
            const std::uint32_t length = (std::uint32_t(sent[at]) << 24) |
                                         (std::uint32_t(sent[at + 1]) << 16) |
                                         (std::uint32_t(sent[at + 2]) << 8) | sent[at + 3];
            at += 4;
            if (sent.size() - at < length) {
                return std::nullopt;
            }
            auto message = PlistValue::parse(sent.data() + at, length);
            if (!message) {
                return std::nullopt;
            }
            messages.push_back(std::move(*message));
            at += length;
        }
        return messages;
    }
};

// Gives a service object a scripted connection in place of a started service. The connection
// stays owned by the object; the returned pointer is for inspecting it.
template <class Service>
class WithFakeConnection : public Service {
  public:
    FakeServiceConnection* useFakeConnection() {
        auto fake = std::make_unique<FakeServiceConnection>();
        FakeServiceConnection* raw = fake.get();
        this->setConnection(std::move(fake));
        return raw;
    }
};

}  // namespace nimbara::test
