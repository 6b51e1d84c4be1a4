// usbmuxd's events through the real libusbmuxd, from a usbmux socket of the test's own that
// announces devices and refuses every connection to them: a device appears as waiting (it can't
// be reached), and a removal reaches subscribers.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/mobiledevice/imd/imd_library.h"
#include "sim_test_device.h"
#include "test_support.h"

namespace md = nimbara::md;
namespace imd = nimbara::md::imd;
using nimbara::PlistValue;
using nimbara::test::EventLoop;
using nimbara::test::Events;
using nimbara::test::TempDir;

namespace {

// Answers usbmux requests on a UNIX socket: "Listen" (then the events the test sends),
// "ListDevices", and a refusal for anything else.
class FakeUsbmux {
  public:
    explicit FakeUsbmux(std::string path) : path_(std::move(path)) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        ok_ = listener_ >= 0 &&
              ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::listen(listener_, 8) == 0;
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeUsbmux() {
        stop_ = true;
        thread_.join();
        for (int fd : clients_) {
            ::close(fd);
        }
        ::close(listener_);
    }
    bool ok() const { return ok_; }

    void attach(int id, const std::string& udid) {
        PlistValue properties = PlistValue::dict();
        properties["ConnectionType"] = "USB";
        properties["DeviceID"] = id;
        properties["LocationID"] = 0;
        properties["ProductID"] = 0x12a8;
        properties["SerialNumber"] = udid;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            devices_[id] = properties;
        }
        PlistValue message = PlistValue::dict();
        message["MessageType"] = "Attached";
        message["DeviceID"] = id;
        message["Properties"] = properties;
        broadcast(message);
    }
    void detach(int id) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            devices_.erase(id);
        }
        PlistValue message = PlistValue::dict();
        message["MessageType"] = "Detached";
        message["DeviceID"] = id;
        broadcast(message);
    }
    int listeners() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return static_cast<int>(listening_.size());
    }

  private:
    static void write(int fd, std::uint32_t tag, const PlistValue& message) {
        const std::string body = message.toXml();
        std::uint32_t header[4] = {static_cast<std::uint32_t>(16 + body.size()), 1, 8, tag};
        std::string packet(reinterpret_cast<const char*>(header), sizeof header);
        packet += body;
        (void)!::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL);
    }
    void broadcast(const PlistValue& message) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : listening_) {
            write(fd, 0, message);
        }
    }
    void serve() {
        while (!stop_) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (int fd : clients_) {
                    fds.push_back({fd, POLLIN, 0});
                }
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0) {
                continue;
            }
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    clients_.push_back(fd);
                }
            }
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (fds[i].revents & (POLLIN | POLLHUP)) {
                    handle(fds[i].fd);
                }
            }
        }
    }
    void drop(int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase(clients_, fd);
        std::erase(listening_, fd);
        ::close(fd);
    }
    void handle(int fd) {
        std::uint32_t header[4];
        if (::recv(fd, header, sizeof header, MSG_WAITALL) != sizeof header || header[0] < 16) {
            return drop(fd);
        }
        std::string body(header[0] - 16, '\0');
        if (::recv(fd, body.data(), body.size(), MSG_WAITALL) != static_cast<long>(body.size())) {
            return drop(fd);
        }
        const auto request = PlistValue::parse(body);
        const std::string type = request ? (*request)["MessageType"].toString() : "";
        PlistValue reply = PlistValue::dict();
        if (type == "ListDevices") {
            PlistValue list = PlistValue::array();
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& [id, properties] : devices_) {
                PlistValue entry = PlistValue::dict();
                entry["DeviceID"] = id;
                entry["MessageType"] = "Attached";
                entry["Properties"] = properties;
                list.append(entry);
            }
            reply["DeviceList"] = list;
            write(fd, header[3], reply);
            return;
        }
        reply["MessageType"] = "Result";
        reply["Number"] = type == "Listen" ? 0 : 3;  // everything else: connection refused
        write(fd, header[3], reply);
        if (type == "Listen") {
            std::lock_guard<std::mutex> lock(mutex_);
            listening_.push_back(fd);
        }
    }

    const std::string path_;
    int listener_ = -1;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<int> clients_;
    std::vector<int> listening_;
    std::map<int, PlistValue> devices_;
    std::thread thread_;
};

}  // namespace

TEST(ImdUsbmuxEvents, AttachAndDetachComeThroughLibusbmuxdToOurThread) {
    TempDir tmp;
    const std::string socketPath = (tmp / "mux.sock").string();
    FakeUsbmux mux(socketPath);
    ASSERT_TRUE(mux.ok());
    ::setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socketPath).c_str(), 1);
    EventLoop loop;
    Events events;
    {
        imd::ImdLibrary::Options options;
        options.timeout = std::chrono::milliseconds(2000);
        options.trustRetry = std::chrono::milliseconds(100000);
        imd::ImdLibrary library(std::move(options));
        std::unique_ptr<md::Subscription> subscription;
        ASSERT_EQ(library.subscribe(events.callback(), subscription), 0);
        ASSERT_TRUE(loop.runUntil([&] { return mux.listeners() == 1; }));

        mux.attach(5, "00008020-FAKE0001");
        ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageWaiting) == 1; }));
        EXPECT_EQ(events.seen[0].message, md::kMessageConnecting);
        const md::DeviceHandle device = events.seen[0].device;
        EXPECT_EQ(events.seen[0].thread, QThread::currentThread());
        EXPECT_EQ(device->identifier().rfind("usb:00008020-FAKE0001#", 0), 0u);
        EXPECT_EQ(device->waitReason(), md::Error::ConnectionRefused);
        EXPECT_TRUE(library.attachedDevices().empty());
        EXPECT_EQ(library.createMediaSyncConnection("0", "00008020-FAKE0001"), nullptr);

        mux.detach(5);
        ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageDetached) == 1; }));
        EXPECT_EQ(events.seen.back().device, device);
        EXPECT_FALSE(device->attached());
        EXPECT_EQ(device->connect(), md::Error::DeviceGone);
        EXPECT_EQ(events.seen.size(), 3u);
    }
    // The library is gone, and with it its subscription to usbmuxd.
    EXPECT_TRUE(loop.runUntil([&] { return mux.listeners() == 0; }));
    ::unsetenv("USBMUXD_SOCKET_ADDRESS");
}
