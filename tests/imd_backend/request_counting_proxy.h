// A usbmux socket between the library and the test device that passes everything through and
// counts the lockdown requests it sees in plain text ("Pair", "ValidatePair": those come before
// a session's TLS on every profile).
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nimbara::test {

class RequestCountingProxy {
  public:
    // Listens on `socket`, connects each client to `target` and points libusbmuxd here.
    RequestCountingProxy(const std::filesystem::path& target, const std::filesystem::path& socket)
        : target_(addressOf(target)) {
        const sockaddr_un address = addressOf(socket);
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        started_ =
            ::pipe2(wake_, O_CLOEXEC) == 0 &&
            ::bind(listen_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            ::listen(listen_, 16) == 0;
        if (started_) {
            thread_ = std::thread([this] { run(); });
            setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socket.string()).c_str(), 1);
        }
    }
    ~RequestCountingProxy() {
        if (thread_.joinable()) {
            [[maybe_unused]] const ssize_t n = ::write(wake_[1], "x", 1);
            thread_.join();
        }
        for (int fd : {listen_, wake_[0], wake_[1]}) {
            ::close(fd);
        }
    }
    RequestCountingProxy(const RequestCountingProxy&) = delete;
    RequestCountingProxy& operator=(const RequestCountingProxy&) = delete;

    bool started() const { return started_; }
    // How often a request of that name went to the device (libplist's XML layout).
    int count(const std::string& request) const {
        const std::string needle = "<key>Request</key>\n\t<string>" + request + "</string>";
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (const std::string& sent : sent_) {
            for (auto at = sent.find(needle); at != std::string::npos;
                 at = sent.find(needle, at + 1)) {
                ++n;
            }
        }
        return n;
    }

  private:
    static sockaddr_un addressOf(const std::filesystem::path& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        return address;
    }

    // Moves what `from` has to `to`; false when either side is done.
    static bool pass(int from, int to, std::string* sent, std::mutex& mutex) {
        char buffer[65536];
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n <= 0 || ::send(to, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) {
            return false;
        }
        if (sent) {
            std::lock_guard<std::mutex> lock(mutex);
            sent->append(buffer, static_cast<std::size_t>(n));
        }
        return true;
    }

    void run() {
        std::vector<std::pair<int, int>> links;  // client, device; sent_ has one entry each
        std::vector<std::size_t> sentOf;
        for (;;) {
            std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listen_, POLLIN, 0}};
            for (const auto& [client, device] : links) {
                fds.push_back({client, POLLIN, 0});
                fds.push_back({device, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0 || fds[0].revents) {
                break;
            }
            for (std::size_t i = links.size(); i-- > 0;) {
                auto [client, device] = links[i];
                const bool whole =
                    (!fds[2 + 2 * i].revents || pass(client, device, &sent_[sentOf[i]], mutex_)) &&
                    (!fds[3 + 2 * i].revents || pass(device, client, nullptr, mutex_));
                if (!whole) {
                    ::close(client);
                    ::close(device);
                    links.erase(links.begin() + static_cast<std::ptrdiff_t>(i));
                    sentOf.erase(sentOf.begin() + static_cast<std::ptrdiff_t>(i));
                }
            }
            if (fds[1].revents) {
                const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
                const int device = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (::connect(device, reinterpret_cast<const sockaddr*>(&target_),
                              sizeof target_) == 0) {
                    links.emplace_back(client, device);
                    std::lock_guard<std::mutex> lock(mutex_);
                    sentOf.push_back(sent_.size());
                    sent_.emplace_back();
                } else {
                    ::close(client);
                    ::close(device);
                }
            }
        }
        for (const auto& [client, device] : links) {
            ::close(client);
            ::close(device);
        }
    }

    const sockaddr_un target_;
    int listen_ = -1;
    int wake_[2] = {-1, -1};
    bool started_ = false;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> sent_;  // what each client sent, in order of connection
};

}  // namespace nimbara::test
