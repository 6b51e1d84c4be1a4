#include "device_services.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>

#include "afc_locks.h"
#include "afc_server.h"
#include "device_extras.h"
#include "mobilebackup2_service.h"
#include "notification_proxy.h"
#include "platform/mobiledevice/sim/sim_apps.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_device.h"
#include "socket_io.h"
#include "tls_relay.h"

namespace nimbara::usbmuxsim {

namespace {

constexpr std::size_t kReceiveChunk = 64 * 1024;

PlistValue errorReply(const char* error) {
    PlistValue reply = PlistValue::dict();
    reply["Error"] = error;
    return reply;
}

std::vector<std::pair<std::string, std::string>> afcDeviceInfo(const AttachedDevice& device) {
    auto extras = readExtras(*device.device);
    const PlistValue lockdown = extras ? extras->lockdown : PlistValue();
    const PlistValue& usage = lockdown["com.apple.disk_usage"];
    return {
        {"Model", lockdown[md::sim::kGlobalDomain]["ProductType"].toString()},
        {"FSTotalBytes", std::to_string(usage["TotalDataCapacity"].toInt64())},
        {"FSFreeBytes", std::to_string(usage["AmountDataAvailable"].toInt64())},
        {"FSBlockSize", "4096"},
    };
}

// `mediaRoot`: the listings answer the device's listed names as well. `lockScope`: the area the
// connection's file locks are shared in (empty: its own).
void serveAfc(int fd, md::ServiceConnection& service, const AttachedDevice& device, bool mediaRoot,
              const std::string& lockScope = {}) {
    std::unique_ptr<md::AfcConnection> afc;
    if (service.openAfc(afc) != 0) {
        return;
    }
    auto handle = device.device;
    AfcServer::MoreNames moreNames;
    if (mediaRoot) {
        moreNames = [handle](const std::string& path) {
            auto extras = readExtras(*handle);
            if (!extras) {
                return std::vector<std::string>();
            }
            auto it = extras->listedNames.find(path);
            return it == extras->listedNames.end() ? std::vector<std::string>() : it->second;
        };
    }
    AfcServer server(
        fd, std::move(afc), afcDeviceInfo(device), [handle] { return handle->attached(); },
        std::move(moreNames));
    if (!lockScope.empty()) {
        AfcServer::BeforeLock beforeLock;
        if (mediaRoot) {
            const std::uint32_t id = device.id;
            beforeLock = [handle, id](const std::string& key) {
                if (key.ends_with(std::string(":") + kSyncLockPath)) {
                    auto extras = readExtras(*handle);
                    OtherSyncHost::instance().beforeLock(
                        id, key, extras ? extras->syncLockHeld : std::nullopt);
                }
            };
        }
        server.shareLocks(device.udid + " " + lockScope, std::move(beforeLock));
    }
    server.run();
}

// The installation proxy's answer to "Browse", from the simulated device's "Lookup" frames;
// nullopt when one of them is an error, which then goes to the peer as it came.
std::optional<std::vector<std::uint8_t>> browseAnswer(
    const std::vector<std::vector<std::uint8_t>>& bodies) {
    std::vector<PlistValue> batches;
    std::int64_t total = 0;
    for (const auto& body : bodies) {
        auto reply = PlistValue::parse(body.data(), body.size());
        if (!reply || !reply->isDict() || reply->contains("Error")) {
            return std::nullopt;
        }
        PlistValue list = PlistValue::array();
        for (const auto& [bundleId, attributes] : (*reply)["LookupResult"].toDict()) {
            PlistValue entry = attributes.isDict() ? attributes : PlistValue::dict();
            entry["CFBundleIdentifier"] = bundleId;
            list.append(std::move(entry));
        }
        if (list.size() > 0) {
            total += static_cast<std::int64_t>(list.size());
            PlistValue batch = PlistValue::dict();
            batch["CurrentList"] = std::move(list);
            batches.push_back(std::move(batch));
        }
    }
    PlistValue complete = PlistValue::dict();
    complete["Status"] = "Complete";
    std::int64_t index = 0;
    for (auto& batch : batches) {
        const auto amount = static_cast<std::int64_t>(batch["CurrentList"].size());
        batch["Status"] = "BrowsingApplications";
        batch["CurrentIndex"] = index;
        batch["CurrentAmount"] = amount;
        batch["Total"] = total;
        index += amount;
    }
    batches.push_back(std::move(complete));
    std::vector<std::uint8_t> out;
    for (const auto& batch : batches) {
        const auto frame = encodeFrame(batch);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}

// Moves the reports under the device's kNewCrashesDir into its crash area, each to the same
// path there; false when one could not be moved. Links are left where they are.
bool moveNewReports(const AttachedDevice& device) {
    namespace fs = std::filesystem;
    const fs::path from = device.device->anchor() / kNewCrashesDir;
    const fs::path to = device.device->anchor() / md::sim::kCrashesDir;
    std::error_code ec;
    std::vector<fs::path> reports;
    for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        if (!it->is_symlink(ec) && it->is_regular_file(ec)) {
            reports.push_back(it->path().lexically_relative(from));
        }
    }
    bool moved = true;
    for (const fs::path& report : reports) {
        fs::create_directories((to / report).parent_path(), ec);
        fs::rename(from / report, to / report, ec);
        moved = moved && !ec;
    }
    return moved;
}

// How long the installation proxy takes over each batch of apps of this request: a Browse or
// Lookup that asks for the apps' disk usage is slow where the device's fault or profile says so.
std::chrono::milliseconds diskUsageDelay(const UsbmuxServer& server, const AttachedDevice& device,
                                         const PlistValue& request) {
    const std::string& command = request["Command"].toString();
    if (command != "Browse" && command != "Lookup") {
        return {};
    }
    bool asksForUsage = false;
    for (const auto& attribute : request["ClientOptions"]["ReturnAttributes"].toArray()) {
        const std::string& name = attribute.toString();
        asksForUsage = asksForUsage || name == "StaticDiskUsage" || name == "DynamicDiskUsage";
    }
    if (!asksForUsage) {
        return {};
    }
    const auto extras = readExtras(*device.device);
    if (extras && extras->slowDiskUsage) {
        return *extras->slowDiskUsage;
    }
    return diskUsageDelay(profileOf(extras, server.profile()));
}

// Writes the answer frames, each batch of apps `delay` after the one before.
bool writeSlowly(int fd, const std::vector<std::uint8_t>& replies,
                 std::chrono::milliseconds delay) {
    for (const auto& body : splitFrames(replies).bodies) {
        const auto value = PlistValue::parse(body.data(), body.size());
        if (value && (value->contains("CurrentList") || value->contains("LookupResult"))) {
            std::this_thread::sleep_for(delay);
        }
        const auto header = md::frameHeader(static_cast<std::uint32_t>(body.size()));
        if (!writeAll(fd, header.data(), header.size()) ||
            !writeAll(fd, body.data(), body.size())) {
            return false;
        }
    }
    return true;
}

void relayPlistService(UsbmuxServer& server, int fd, md::ServiceConnection& service,
                       const AttachedDevice& device, bool installationProxy) {
    std::vector<std::uint8_t> buffer(kReceiveChunk);
    for (;;) {
        auto body = readFrame(fd);
        if (!body) {
            return;
        }
        auto request = PlistValue::parse(body->data(), body->size());
        if (server.verbose()) {
            server.log("service request " + (request ? request->description() : "(unreadable)"));
        }
        const bool browse =
            installationProxy && request && (*request)["Command"].toString() == "Browse";
        const auto delay = installationProxy && request ? diskUsageDelay(server, device, *request)
                                                        : std::chrono::milliseconds(0);
        const auto header = md::frameHeader(static_cast<std::uint32_t>(body->size()));
        std::vector<std::uint8_t> frame(header.begin(), header.end());
        frame.insert(frame.end(), body->begin(), body->end());
        if (service.send(frame.data(), frame.size()) != static_cast<long>(frame.size())) {
            return;
        }
        // The simulated service answers a whole request at once.
        std::vector<std::uint8_t> replies;
        for (;;) {
            const long n = service.receive(buffer.data(), buffer.size());
            if (n < 0) {
                return;  // the device went away
            }
            if (n == 0) {
                break;
            }
            replies.insert(replies.end(), buffer.begin(), buffer.begin() + n);
        }
        const SplitFrames split = splitFrames(replies);
        if (server.verbose()) {
            for (const auto& reply : split.bodies) {
                auto value = PlistValue::parse(reply.data(), reply.size());
                server.log("service answer " + (value ? value->description() : "(unreadable)"));
            }
        }
        if (browse && split.incompleteTail == 0 && !split.bodies.empty()) {
            if (auto answer = browseAnswer(split.bodies)) {
                replies = std::move(*answer);
            }
        }
        const bool written = delay.count() > 0 && split.incompleteTail == 0
                                 ? writeSlowly(fd, replies, delay)
                                 : writeAll(fd, replies.data(), replies.size());
        if (!written) {
            return;
        }
        if (split.bodies.empty() || split.incompleteTail > 0) {
            return;  // the service closed instead of answering, or in the middle of an answer
        }
    }
}

// Whether a device with restricted containers hands out this app's container.
bool containerAllowed(const PlistValue& attributes, bool documentsOnly) {
    const bool developerSigned = attributes["Entitlements"]["get-task-allow"].toBool(false);
    const bool sharesFiles = attributes["UIFileSharingEnabled"].toBool(false);
    return developerSigned || (documentsOnly && sharesFiles);
}

// Opens the container through the simulated device, in a connection of its own (the lockdown
// session that started house arrest is usually over by now).
int openContainer(const AttachedDevice& device, const std::string& bundleId,
                  std::unique_ptr<md::ServiceConnection>& connection) {
    auto& sim = *device.device;
    if (int rc = sim.connect()) {
        return rc;
    }
    int rc = sim.startSession();
    if (rc == 0) {
        rc = sim.startHouseArrestService(bundleId, connection);
        sim.stopSession();
    }
    sim.disconnect();
    return rc;
}

void serveHouseArrest(UsbmuxServer& server, int fd, const AttachedDevice& device) {
    while (auto request = readRequest(fd)) {
        const std::string& command = (*request)["Command"].toString();
        const std::string& bundleId = (*request)["Identifier"].toString();
        server.log("house arrest " + command + " " + bundleId);
        if (command != "VendContainer" && command != "VendDocuments") {
            if (!writeFrame(fd, errorReply("UnknownCommand"))) {
                return;
            }
            continue;
        }
        auto attributes = md::sim::appAttributes(device.device->anchor(), bundleId);
        if (!attributes) {
            if (!writeFrame(fd, errorReply("ApplicationLookupFailed"))) {
                return;
            }
            continue;
        }
        auto extras = readExtras(*device.device);
        if (extras && extras->restrictedContainers &&
            !containerAllowed(*attributes, command == "VendDocuments")) {
            if (!writeFrame(fd, errorReply("InstallationLookupFailed"))) {
                return;
            }
            continue;
        }
        std::unique_ptr<md::ServiceConnection> container;
        const int rc = openContainer(device, bundleId, container);
        if (rc == md::Error::DeviceGone) {
            return;
        }
        if (rc != 0) {
            const bool missing =
                rc == md::Error::AppNotInstalled || rc == md::Error::InvalidArgument;
            if (!writeFrame(fd, errorReply(missing ? "ApplicationLookupFailed"
                                                   : "InstallationLookupFailed"))) {
                return;
            }
            continue;
        }
        PlistValue complete = PlistValue::dict();
        complete["Status"] = "Complete";
        if (writeFrame(fd, complete)) {
            serveAfc(fd, *container, device, false);
        }
        return;
    }
}

// The service on `fd`, in plain text.
void servePlain(UsbmuxServer& server, int fd, PendingService& service,
                const AttachedDevice& device) {
    auto extras = readExtras(*device.device);
    if (extras && extras->stalledServices.count(service.name)) {
        drainUntilClosed(fd);  // until the peer gives up or the device goes away
        return;
    }
    switch (service.kind) {
        case ServiceKind::Afc:
            serveAfc(fd, *service.connection, device, service.name == "com.apple.afc",
                     service.name);
            break;
        case ServiceKind::PlistRelay:
        case ServiceKind::InstallationProxy:
            relayPlistService(server, fd, *service.connection, device,
                              service.kind == ServiceKind::InstallationProxy);
            break;
        case ServiceKind::HouseArrest:
            serveHouseArrest(server, fd, device);
            break;
        case ServiceKind::NotificationProxy:
            NotificationHub::instance().serve(server, fd, device);
            break;
        case ServiceKind::MobileBackup2:
            serveMobileBackup2(server, fd, device);
            break;
        case ServiceKind::Mover: {
            std::string said;
            if (extras && extras->moverAnswer) {
                said = *extras->moverAnswer;
            } else if (moveNewReports(device)) {
                said = "ping";
            }
            if (writeAll(fd, said.data(), said.size())) {
                drainUntilClosed(fd);
            }
            break;
        }
    }
    if (service.connection) {
        service.connection->close();
    }
}

}  // namespace

void serveService(UsbmuxServer& server, int fd, PendingService service,
                  const AttachedDevice& device) {
    server.log("service " + service.name + " connected");
    if (!service.tls) {
        servePlain(server, fd, service, device);
        return;
    }
    std::string error;
    auto link = TlsLink::accept(fd, server.pairRecords().hostCertificates(device.udid), error);
    service.handshake.done(link ? link->version() : std::string(), error);
    server.log("service " + service.name + " TLS " + (link ? link->version() : "failed: " + error));
    if (!link) {
        if (service.connection) {
            service.connection->close();
        }
        return;
    }
    TlsRelay relay(std::move(link), fd);
    if (relay.plainFd() >= 0) {
        servePlain(server, relay.plainFd(), service, device);
    } else if (service.connection) {
        service.connection->close();
    }
}

}  // namespace nimbara::usbmuxsim
