// The protocol-level device (nimbara-usbmux-sim) run as a child process for one test, and small
// owners of libimobiledevice's handles for the tests that talk to it through the library.
//
// UsbmuxServerProcess makes its folders in the process's private scratch space: devices/ (write
// simulated devices there), pair-records/ and the socket. start() runs the server with an
// argument list and points libusbmuxd at its socket through USBMUXD_SOCKET_ADDRESS. The server
// runs the newest profile unless setProfile() chose another ("legacy", "ios11", "ios17"); a
// device's own "SimProfile" in its device.plist overrides it for that device.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/plist_value.h"
#include "platform/scratch_dir.h"
#include "socket_io.h"

extern char** environ;

namespace nimbara::test {

// Runs `argv` (the program's path first) with the test's environment, its standard output on a
// pipe whose reading end goes to `output`: the child's pid, or -1 when it could not run.
inline pid_t spawnWithOutput(std::vector<const char*> argv, int& output) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) {
        return -1;
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv.front(), &actions, nullptr,
                               const_cast<char* const*>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return -1;
    }
    output = out[0];
    return pid;
}

class UsbmuxServerProcess {
  public:
#ifdef NIMBARA_USBMUX_SIM_PATH
    UsbmuxServerProcess() : UsbmuxServerProcess(NIMBARA_USBMUX_SIM_PATH) {}
#endif
    // `program`: the path of nimbara-usbmux-sim.
    explicit UsbmuxServerProcess(std::string program) : program_(std::move(program)) {
        // The test talks to devices as the application does: a write to a connection the
        // device closed (libimobiledevice's TLS writes to the socket itself) fails, no more.
        ::signal(SIGPIPE, SIG_IGN);
        static std::atomic<int> serial{0};
        folder_ = scratchFolder("usbmux-" + std::to_string(serial++));
        std::filesystem::create_directories(folder_ / "devices");
        std::filesystem::create_directories(folder_ / "pair-records");
    }
    ~UsbmuxServerProcess() {
        stop();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    UsbmuxServerProcess(const UsbmuxServerProcess&) = delete;
    UsbmuxServerProcess& operator=(const UsbmuxServerProcess&) = delete;

    // The server's own folder, for device folders outside the devices folder.
    const std::filesystem::path& folder() const {
        return folder_;
    }
    std::filesystem::path devices() const {
        return folder_ / "devices";
    }
    std::filesystem::path pairRecords() const {
        return folder_ / "pair-records";
    }
    std::filesystem::path socket() const {
        return folder_ / "socket";
    }
    // The profile start() passes; empty: the server's default, the newest.
    void setProfile(std::string profile) {
        profile_ = std::move(profile);
    }

    // Runs the server; true once it said it is ready.
    bool start() {
        if (folder_.empty()) {
            return false;
        }
        const std::string socketPath = socket().string();
        const std::string devicesPath = devices().string();
        const std::string recordsPath = pairRecords().string();
        std::vector<const char*> argv = {
            program_.c_str(),    "--socket",       socketPath.c_str(), "--devices",
            devicesPath.c_str(), "--pair-records", recordsPath.c_str()};
        if (!profile_.empty()) {
            argv.push_back("--profile");
            argv.push_back(profile_.c_str());
        }
        // NIMBARA_USBMUX_SIM_VERBOSE=1 shows every request the server answers.
        if (const char* verbose = std::getenv("NIMBARA_USBMUX_SIM_VERBOSE"); verbose && *verbose) {
            argv.push_back("--verbose");
        }
        int output = -1;
        pid_ = spawnWithOutput(argv, output);
        if (pid_ < 0) {
            return false;
        }
        // A generous limit, only so that a broken server fails the test instead of hanging it.
        std::string said;
        pollfd waiting{output, POLLIN, 0};
        while (said.find('\n') == std::string::npos && ::poll(&waiting, 1, 30000) > 0) {
            char buffer[64];
            const ssize_t n = ::read(output, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            said.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(output);
        setenv("USBMUXD_SOCKET_ADDRESS", ("UNIX:" + socketPath).c_str(), 1);
        return said.starts_with("ready");
    }

    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
            exitStatus_ = status;
            pid_ = -1;
        }
    }
    // The wait status of the stopped server.
    int exitStatus() const {
        return exitStatus_;
    }

    // Sends a test message ("SimRescan", "SimAttach" or "SimDetach" with a device folder) and
    // returns the answer's result number; -1 when there was none.
    int control(const std::string& type, const std::filesystem::path& deviceDir = {}) const {
        PlistValue message = PlistValue::dict();
        message["MessageType"] = type;
        if (!deviceDir.empty()) {
            message["Path"] = deviceDir.string();
        }
        if (const int fd = ask(message); fd >= 0) {
            ::close(fd);
        }
        return lastResult_;
    }

    // The server's TLS handshakes so far, once none is under way: {"Link", "Version"} or
    // {"Link", "Error"} dictionaries, oldest first.
    PlistValue tlsHandshakes() const {
        PlistValue message = PlistValue::dict();
        message["MessageType"] = "SimTlsHandshakes";
        if (const int fd = ask(message); fd >= 0) {
            ::close(fd);
        }
        return lastReply_["Handshakes"];
    }

    // A tunnel to a port of a device (the first device attached is 1), the way libusbmuxd makes
    // one, owned by the test: the connected socket, or -1 when the server refused it.
    int tunnel(std::uint32_t deviceId, std::uint16_t port) const {
        PlistValue message = PlistValue::dict();
        message["MessageType"] = "Connect";
        message["DeviceID"] = static_cast<std::int64_t>(deviceId);
        message["PortNumber"] = static_cast<std::int64_t>((port >> 8) | ((port & 0xFF) << 8));
        const int fd = ask(message);
        if (fd >= 0 && lastResult_ != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

  private:
    // Sends one message on a new connection and reads the "Result" into lastResult_ (-1 for
    // none): the connection, or -1 when none was made.
    int ask(const PlistValue& message) const {
        lastResult_ = -1;
        lastReply_ = PlistValue();
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = socket().string();
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        if (usbmuxsim::writeMuxPlist(fd, 7, message)) {
            if (auto packet = usbmuxsim::readMuxPacket(fd)) {
                auto reply = PlistValue::parse(packet->payload.data(), packet->payload.size());
                if (reply && (*reply)["MessageType"].toString() == "Result") {
                    lastResult_ = static_cast<int>((*reply)["Number"].toInt64(-1));
                    lastReply_ = std::move(*reply);
                }
            }
        }
        return fd;
    }

    const std::string program_;
    mutable int lastResult_ = -1;
    mutable PlistValue lastReply_;
    std::string profile_;
    std::filesystem::path folder_;
    pid_t pid_ = -1;
    int exitStatus_ = 0;
};

// Owners of libimobiledevice handles.
struct DeviceFree {
    void operator()(idevice_private* d) const { idevice_free(d); }
};
struct LockdownFree {
    void operator()(lockdownd_client_private* c) const { lockdownd_client_free(c); }
};
struct AfcFree {
    void operator()(afc_client_private* c) const { afc_client_free(c); }
};
struct PlistFree {
    void operator()(void* p) const { plist_free(static_cast<plist_t>(p)); }
};
using DevicePtr = std::unique_ptr<idevice_private, DeviceFree>;
using LockdownPtr = std::unique_ptr<lockdownd_client_private, LockdownFree>;
using AfcPtr = std::unique_ptr<afc_client_private, AfcFree>;
using PlistPtr = std::unique_ptr<void, PlistFree>;

inline DevicePtr openDevice(const std::string& udid) {
    idevice_t device = nullptr;
    if (idevice_new_with_options(&device, udid.c_str(), IDEVICE_LOOKUP_USBMUX) != 0) {
        return nullptr;
    }
    return DevicePtr(device);
}

// A lockdown client after the library's handshake (pairing when needed, then a session).
inline lockdownd_error_t handshake(idevice_t device, LockdownPtr& client) {
    lockdownd_client_t raw = nullptr;
    const lockdownd_error_t rc = lockdownd_client_new_with_handshake(device, &raw, "nimbara-tests");
    client.reset(raw);
    return rc;
}

// A library property list as ours (null for none).
inline PlistValue toValue(plist_t node) {
    if (!node) {
        return PlistValue();
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(node, &xml, &length);
    auto value = PlistValue::parse(xml, length);
    free(xml);
    return value ? *value : PlistValue();
}

inline PlistValue getValue(lockdownd_client_t client, const char* domain, const char* key,
                           lockdownd_error_t* error = nullptr) {
    plist_t node = nullptr;
    const lockdownd_error_t rc = lockdownd_get_value(client, domain, key, &node);
    if (error) {
        *error = rc;
    }
    PlistPtr owner(node);
    return toValue(node);
}

// The entries of a device folder, "." and ".." left out; the AFC status in `error`.
inline std::vector<std::string> listFolder(afc_client_t afc, const std::string& path,
                                           afc_error_t* error = nullptr) {
    char** names = nullptr;
    const afc_error_t rc = afc_read_directory(afc, path.c_str(), &names);
    if (error) {
        *error = rc;
    }
    std::vector<std::string> result;
    for (char** name = names; name && *name; ++name) {
        if (std::strcmp(*name, ".") != 0 && std::strcmp(*name, "..") != 0) {
            result.emplace_back(*name);
        }
    }
    if (names) {
        afc_dictionary_free(names);
    }
    return result;
}

// The whole contents of a device file, read in chunks of `chunk` bytes; the status of the first
// failing call in `error`.
inline std::string readDeviceFile(afc_client_t afc, const std::string& path, afc_error_t* error,
                                  uint32_t chunk = 64 * 1024) {
    std::string data;
    uint64_t handle = 0;
    *error = afc_file_open(afc, path.c_str(), AFC_FOPEN_RDONLY, &handle);
    if (*error != AFC_E_SUCCESS) {
        return data;
    }
    std::vector<char> buffer(chunk);
    for (;;) {
        uint32_t got = 0;
        *error = afc_file_read(afc, handle, buffer.data(), chunk, &got);
        if (*error != AFC_E_SUCCESS || got == 0) {
            break;
        }
        data.append(buffer.data(), got);
    }
    const afc_error_t closed = afc_file_close(afc, handle);
    if (*error == AFC_E_SUCCESS) {
        *error = closed;
    }
    return data;
}

inline afc_error_t writeDeviceFile(afc_client_t afc, const std::string& path,
                                   const std::string& data) {
    uint64_t handle = 0;
    afc_error_t rc = afc_file_open(afc, path.c_str(), AFC_FOPEN_WRONLY, &handle);
    if (rc != AFC_E_SUCCESS) {
        return rc;
    }
    std::size_t done = 0;
    while (rc == AFC_E_SUCCESS && done < data.size()) {
        uint32_t written = 0;
        const auto length = static_cast<uint32_t>(std::min<std::size_t>(data.size() - done, 65536));
        rc = afc_file_write(afc, handle, data.data() + done, length, &written);
        done += written;
    }
    const afc_error_t closed = afc_file_close(afc, handle);
    return rc != AFC_E_SUCCESS ? rc : closed;
}

}  // namespace nimbara::test
