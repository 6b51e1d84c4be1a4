#include "lockdown.h"

#include <array>
#include <random>
#include <thread>
#include <utility>

#include "device_extras.h"
#include "global_values.h"
#include "mobilebackup2_service.h"
#include "platform/mobiledevice/sim/simulated_device.h"
#include "socket_io.h"

namespace nimbara::usbmuxsim {

namespace {

constexpr const char* kQueryType = "com.apple.mobile.lockdown";

struct ServiceName {
    const char* name;
    ServiceKind kind;
    bool startedByDevice;  // the simulated device starts it; the others are served here
    bool tls;              // spoken in TLS where the profile has service TLS
};

constexpr std::array<ServiceName, 8> kServices = {{
    {"com.apple.afc", ServiceKind::Afc, true, false},
    {"com.apple.crashreportcopymobile", ServiceKind::Afc, true, false},
    {"com.apple.mobile.installation_proxy", ServiceKind::InstallationProxy, true, false},
    {"com.apple.springboardservices", ServiceKind::PlistRelay, true, true},
    {"com.apple.mobile.house_arrest", ServiceKind::HouseArrest, false, true},
    {"com.apple.crashreportmover", ServiceKind::Mover, false, true},
    {"com.apple.mobile.notification_proxy", ServiceKind::NotificationProxy, false, true},
    {"com.apple.mobilebackup2", ServiceKind::MobileBackup2, false, true},
}};

PlistValue answer(const std::string& request) {
    PlistValue reply = PlistValue::dict();
    reply["Request"] = request;
    return reply;
}

PlistValue failure(const std::string& request, const char* error) {
    PlistValue reply = answer(request);
    reply["Error"] = error;
    return reply;
}

PlistValue escrowBag() {
    std::random_device random;
    PlistValue::Bytes bag(32);
    for (auto& byte : bag) {
        byte = static_cast<std::uint8_t>(random());
    }
    return PlistValue(std::move(bag));
}

std::string shortText(const PlistValue& value) {
    std::string text = value.description();
    if (text.size() > 300) {
        text.resize(300);
        text += "...";
    }
    return text;
}

}  // namespace

LockdownSession::LockdownSession(UsbmuxServer& server, int fd, AttachedDevice device)
    : server_(server),
      fd_(fd),
      device_(std::move(device)),
      profile_(profileOf(readExtras(*device_.device), server.profile())) {}

LockdownSession::~LockdownSession() = default;

void LockdownSession::run() {
    SocketStream plain(fd_);
    auto stream = [&]() -> ByteStream& { return tls_ ? static_cast<ByteStream&>(*tls_) : plain; };
    while (auto request = readRequest(stream())) {
        const auto extras = readExtras(*device_.device);
        if (stalls(extras, *request)) {
            break;
        }
        if (extras && !waitBeforeAnswer(extras->lockdownDelay)) {
            break;  // gone while it waited
        }
        bool goodbye = false;
        auto reply = handle(*request, goodbye);
        if (server_.verbose()) {
            server_.log("lockdown " + shortText(*request) + " -> " +
                        (reply ? shortText(*reply) : std::string("(dropped)")));
        }
        if (!reply) {
            break;
        }
        // The client may start its handshake as soon as it has the answer.
        HandshakeLog::Pending handshake;
        const bool startTls = std::exchange(enterTls_, false);
        if (startTls) {
            handshake = server_.handshakes().begin("lockdown");
        }
        if (!writeFrame(stream(), *reply) || goodbye) {
            break;
        }
        if (startTls && !beginTls(std::move(handshake))) {
            break;
        }
        // The answer to StopSession went out in TLS; the client goes on in plain text.
        if (std::exchange(leaveTls_, false) && tls_) {
            const bool plainNext = tls_->leaveForPlainText();
            tls_.reset();
            if (!plainNext) {
                break;
            }
        }
    }
    if (sessionOpen_) {
        device_.device->stopSession();
    }
    device_.device->disconnect();
}

bool LockdownSession::beginTls(HandshakeLog::Pending handshake) {
    std::string error;
    tls_ = TlsLink::accept(fd_, server_.pairRecords().hostCertificates(device_.udid), error);
    handshake.done(tls_ ? tls_->version() : std::string(), error);
    server_.log("lockdown TLS " + (tls_ ? tls_->version() : "failed: " + error));
    return tls_ != nullptr;
}

bool LockdownSession::stalls(const std::optional<DeviceExtras>& extras, const PlistValue& request) {
    const std::string& name = request["Request"].toString();
    if (!extras || !(extras->stalledLockdown.count(name) ||
                     (sessionOpen_ && extras->stalledInSession.count(name)))) {
        return false;
    }
    server_.log("lockdown " + name + " stalls");
    // A device hung in the middle of a request: its tunnel stays open past the detach.
    server_.keepPastDetach(fd_);
    drainUntilClosed(fd_);
    return true;
}

bool LockdownSession::waitBeforeAnswer(std::chrono::milliseconds delay) const {
    const auto until = std::chrono::steady_clock::now() + delay;
    while (std::chrono::steady_clock::now() < until) {
        if (!device_.device->attached()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
    }
    return true;
}

std::optional<PlistValue> LockdownSession::handle(const PlistValue& request, bool& goodbye) {
    const std::string& name = request["Request"].toString();
    if (name == "QueryType") {
        PlistValue reply = answer(name);
        reply["Type"] = kQueryType;
        return reply;
    }
    if (name == "GetValue") {
        return getValue(request);
    }
    if (name == "Pair") {
        return pair(request);
    }
    const std::string& hostId = request["PairRecord"]["HostID"].toString();
    if (name == "ValidatePair") {
        // Devices since iOS 11 no longer know the request.
        if (!acceptsValidatePair(profile_)) {
            return failure(name, "InvalidRequest");
        }
        const int rc = device_.device->validatePairing();
        if (rc == md::Error::DeviceGone) {
            return std::nullopt;
        }
        const bool trusted = rc == 0 && server_.pairRecords().trusts(device_.udid, hostId);
        return trusted ? answer(name) : failure(name, "InvalidHostID");
    }
    if (name == "Unpair") {
        server_.pairRecords().forget(device_.udid, hostId);
        return answer(name);
    }
    if (name == "StartSession") {
        return startSession(request);
    }
    if (name == "StopSession") {
        if (!sessionOpen_) {
            return failure(name, "SessionInactive");
        }
        if (request["SessionID"].toString() != sessionId_) {
            return failure(name, "InvalidSessionID");
        }
        sessionOpen_ = false;
        if (device_.device->stopSession() == md::Error::DeviceGone) {
            return std::nullopt;
        }
        leaveTls_ = tls_ != nullptr;
        return answer(name);
    }
    if (name == "StartService") {
        return startService(request);
    }
    if (name == "Goodbye") {
        goodbye = true;
        return answer(name);
    }
    if (name == "SetValue") {
        return failure(name, "SetProhibited");
    }
    if (name == "RemoveValue") {
        return failure(name, "RemoveProhibited");
    }
    return failure(name, "InvalidRequest");
}

std::optional<PlistValue> LockdownSession::getValue(const PlistValue& request) {
    const std::string name = "GetValue";
    std::optional<std::string> domain;
    std::optional<std::string> key;
    if (request["Domain"].isString()) {
        domain = request["Domain"].toString();
    }
    if (request["Key"].isString()) {
        key = request["Key"].toString();
    }
    auto extras = readExtras(*device_.device);
    if (!extras) {
        return device_.device->attached() ? std::optional(failure(name, "MissingValue"))
                                          : std::nullopt;
    }
    PlistValue reply = answer(name);
    if (domain) {
        reply["Domain"] = *domain;
    }
    if (key) {
        reply["Key"] = *key;
    }
    const bool global = !domain || domain->empty();
    if (!sessionOpen_) {
        // A host without a session sees a few values of the global domain only.
        if (!global || (key && !isPublicValue(*key))) {
            return failure(name, "GetProhibited");
        }
        PlistValue values = publicValues(*extras);
        serveProfileVersion(values, profile_);
        if (!key) {
            reply["Value"] = std::move(values);
            return reply;
        }
        const PlistValue* value = values.find(*key);
        if (!value) {
            return failure(name, "MissingValue");
        }
        reply["Value"] = *value;
        return reply;
    }
    if (auto backup = backupDomainValue(*device_.device, domain, key)) {
        reply["Value"] = std::move(*backup);
        return reply;
    }
    PlistValue value;
    // The global domain is served whole or by key from what a current device holds.
    const int rc = device_.device->copyValue(global ? std::nullopt : domain,
                                             global ? std::nullopt : key, value);
    if (rc == md::Error::DeviceGone) {
        return std::nullopt;
    }
    if (rc != 0) {
        return failure(name, "MissingValue");
    }
    if (global) {
        value = servedGlobalValues(value, *extras, profile_);
        if (key) {
            const PlistValue* found = value.find(*key);
            if (!found) {
                return failure(name, "MissingValue");
            }
            value = PlistValue(*found);
        }
    }
    reply["Value"] = std::move(value);
    return reply;
}

std::optional<PlistValue> LockdownSession::pair(const PlistValue& request) {
    const std::string name = "Pair";
    const PlistValue& record = request["PairRecord"];
    const std::string& hostId = record["HostID"].toString();
    if (hostId.empty() || !record["HostCertificate"].isData() ||
        !record["RootCertificate"].isData() || !record["DeviceCertificate"].isData()) {
        return failure(name, "InvalidPairRecord");
    }
    auto extras = readExtras(*device_.device);
    if (!extras) {
        return device_.device->attached() ? std::optional(failure(name, "PairingFailed"))
                                          : std::nullopt;
    }
    // A locked device cannot show the trust question; an unanswered one keeps the host waiting.
    if (extras->passcodeLocked) {
        return failure(name, "PasswordProtected");
    }
    if (extras->trustPending) {
        return failure(name, "PairingDialogResponsePending");
    }
    const int rc = device_.device->pair();
    if (rc == md::Error::DeviceGone) {
        return std::nullopt;
    }
    if (rc != 0) {
        return failure(name, "UserDeniedPairing");
    }
    server_.pairRecords().trust(device_.udid, hostId);
    PlistValue reply = answer(name);
    reply["EscrowBag"] = escrowBag();
    return reply;
}

std::optional<PlistValue> LockdownSession::startSession(const PlistValue& request) {
    const std::string name = "StartSession";
    if (sessionOpen_) {
        return failure(name, "SessionActive");
    }
    if (!server_.pairRecords().trusts(device_.udid, request["HostID"].toString())) {
        return failure(name, "InvalidHostID");
    }
    const int rc = device_.device->startSession();
    if (rc == md::Error::DeviceGone) {
        return std::nullopt;
    }
    if (rc != 0) {
        return failure(name, "InvalidHostID");  // the device no longer trusts this host
    }
    sessionOpen_ = true;
    sessionId_ = randomUuid();
    PlistValue reply = answer(name);
    reply["SessionID"] = sessionId_;
    reply["EnableSessionSSL"] = sessionTls(profile_);
    enterTls_ = sessionTls(profile_);
    return reply;
}

// Until its first unlock after a restart the device's protected data is out of reach: the
// services that need it are refused as by a locked device.
bool LockdownSession::refusedUntilUnlocked(const std::string& service) const {
    if (!needsFirstUnlock(service)) {
        return false;
    }
    auto extras = readExtras(*device_.device);
    return extras && extras->lockedSinceRestart;
}

std::optional<PlistValue> LockdownSession::startService(const PlistValue& request) {
    const std::string name = "StartService";
    const std::string& service = request["Service"].toString();
    const ServiceName* known = nullptr;
    for (const auto& entry : kServices) {
        if (service == entry.name) {
            known = &entry;
        }
    }
    if (!sessionOpen_) {
        return failure(name, "SessionInactive");
    }
    if (!known) {
        return failure(name, "InvalidService");
    }
    if (refusedUntilUnlocked(service)) {
        return failure(name, "PasswordProtected");
    }
    PendingService pending;
    pending.deviceId = device_.id;
    pending.name = service;
    pending.kind = known->kind;
    pending.tls = known->tls && serviceTls(profile_);
    const bool tls = pending.tls;
    if (known->startedByDevice) {
        const int rc = device_.device->startService(service, pending.connection);
        if (rc == md::Error::DeviceGone) {
            return std::nullopt;
        }
        if (rc == md::Error::ServiceRefused) {
            return failure(name, "ServiceProhibited");
        }
        if (rc != 0) {
            return failure(name, "SessionInactive");
        }
    } else {
        auto extras = readExtras(*device_.device);
        if (!device_.device->countOperation()) {
            return std::nullopt;
        }
        // House arrest refuses containers one by one, when they are asked for.
        if (known->kind == ServiceKind::Mover && extras && extras->refusedServices.count(service)) {
            return failure(name, "ServiceProhibited");
        }
    }
    PlistValue reply = answer(name);
    reply["Service"] = service;
    reply["Port"] = static_cast<int>(server_.addPendingService(std::move(pending)));
    reply["EnableServiceSSL"] = tls;
    return reply;
}

}  // namespace nimbara::usbmuxsim
