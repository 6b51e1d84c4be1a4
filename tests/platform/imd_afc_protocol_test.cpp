// The AFC client of real devices against an AFC peer of the test's own: a small in-memory file
// system that answers packets as a device does, and can be told to misbehave.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <set>

#include "platform/mobiledevice/imd/afc_protocol.h"

namespace md = nimbara::md;
namespace afc = nimbara::md::imd::afc;
namespace AfcError = nimbara::md::AfcError;
using md::imd::ProtocolAfcConnection;

namespace {

std::uint64_t le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    return v;
}

void putLe64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

struct Request {
    std::uint64_t number = 0;
    std::uint64_t operation = 0;
    std::vector<std::uint8_t> arguments;
    std::vector<std::uint8_t> payload;

    std::vector<std::string> strings() const {
        std::vector<std::string> out;
        std::size_t start = 0;
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            if (arguments[i] == 0) {
                out.emplace_back(reinterpret_cast<const char*>(arguments.data()) + start,
                                 i - start);
                start = i + 1;
            }
        }
        return out;
    }
};

// A device's AFC side over an in-memory tree. Replies are handed out in small pieces, as a
// socket may deliver them.
class FakeAfcPeer : public md::ServiceConnection {
  public:
    // Rewrites a reply (header and data) before it goes out; the test's way to misbehave.
    std::function<void(const Request&, std::vector<std::uint8_t>&)> tamper;
    bool closeAfterHeader = false;

    std::map<std::string, std::vector<std::uint8_t>> files;
    std::set<std::string> folders{"/"};
    std::vector<Request> requests;

    long send(const void* data, std::size_t length) override {
        if (closed_) {
            return -1;
        }
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        inbox_.insert(inbox_.end(), bytes, bytes + length);
        while (inbox_.size() >= afc::kHeaderSize) {
            const std::uint64_t entire = le64(inbox_.data() + 8);
            const std::uint64_t thisLength = le64(inbox_.data() + 16);
            if (inbox_.size() < entire) {
                break;
            }
            Request request;
            request.number = le64(inbox_.data() + 24);
            request.operation = le64(inbox_.data() + 32);
            request.arguments.assign(inbox_.begin() + afc::kHeaderSize,
                                     inbox_.begin() + static_cast<long>(thisLength));
            request.payload.assign(inbox_.begin() + static_cast<long>(thisLength),
                                   inbox_.begin() + static_cast<long>(entire));
            inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<long>(entire));
            requests.push_back(request);
            answer(request);
        }
        return static_cast<long>(length);
    }

    long receive(void* buffer, std::size_t length) override {
        if (outbox_.empty()) {
            return closed_ ? 0 : -1;  // nothing queued: a timeout
        }
        const std::size_t n = std::min({length, outbox_.size(), std::size_t(7)});
        std::copy(outbox_.begin(), outbox_.begin() + static_cast<long>(n),
                  static_cast<std::uint8_t*>(buffer));
        outbox_.erase(outbox_.begin(), outbox_.begin() + static_cast<long>(n));
        return static_cast<long>(n);
    }

    int openAfc(std::unique_ptr<md::AfcConnection>& afcConnection) override {
        afcConnection.reset();
        return md::Error::InvalidArgument;
    }
    void close() override { closed_ = true; }

    std::size_t writesOf(std::uint64_t operation) const {
        return static_cast<std::size_t>(
            std::count_if(requests.begin(), requests.end(),
                          [&](const Request& r) { return r.operation == operation; }));
    }

  private:
    void reply(const Request& request, std::uint64_t operation,
               const std::vector<std::uint8_t>& data) {
        std::vector<std::uint8_t> packet(afc::kMagic, afc::kMagic + 8);
        putLe64(packet, afc::kHeaderSize + data.size());
        putLe64(packet, afc::kHeaderSize);
        putLe64(packet, request.number);
        putLe64(packet, operation);
        packet.insert(packet.end(), data.begin(), data.end());
        if (tamper) {
            tamper(request, packet);
        }
        if (closeAfterHeader) {
            packet.resize(afc::kHeaderSize);
            closed_ = true;
        }
        outbox_.insert(outbox_.end(), packet.begin(), packet.end());
    }

    void status(const Request& request, std::uint64_t code) {
        std::vector<std::uint8_t> data;
        putLe64(data, code);
        reply(request, afc::kOpStatus, data);
    }

    static std::vector<std::uint8_t> joined(const std::vector<std::string>& strings) {
        std::vector<std::uint8_t> out;
        for (const auto& s : strings) {
            out.insert(out.end(), s.begin(), s.end());
            out.push_back(0);
        }
        return out;
    }

    static std::string parentOf(const std::string& path) {
        const auto slash = path.find_last_of('/');
        return slash == 0 ? "/" : path.substr(0, slash);
    }

    void answer(const Request& request) {
        const auto strings = request.strings();
        switch (request.operation) {
            case afc::kOpReadDirectory: {
                if (!folders.count(strings.at(0))) {
                    return status(request, AfcError::NotFound);
                }
                std::vector<std::string> names{".", ".."};
                const std::string prefix = strings[0] == "/" ? "/" : strings[0] + "/";
                for (const auto& [path, bytes] : files) {
                    if (parentOf(path) == strings[0]) {
                        names.push_back(path.substr(prefix.size()));
                    }
                }
                for (const auto& folder : folders) {
                    if (folder != "/" && parentOf(folder) == strings[0]) {
                        names.push_back(folder.substr(prefix.size()));
                    }
                }
                return reply(request, afc::kOpData, joined(names));
            }
            case afc::kOpGetFileInfo: {
                const std::string& path = strings.at(0);
                if (folders.count(path)) {
                    return reply(request, afc::kOpData, joined({"st_ifmt", "S_IFDIR"}));
                }
                auto it = files.find(path);
                if (it == files.end()) {
                    return status(request, AfcError::NotFound);
                }
                return reply(request, afc::kOpData,
                             joined({"st_size", std::to_string(it->second.size()), "st_ifmt",
                                     "S_IFREG", "st_dangling"}));
            }
            case afc::kOpMakeDirectory: {
                const std::string& path = strings.at(0);
                if (folders.count(path)) {
                    return status(request, 0);
                }
                if (files.count(path)) {
                    return status(request, AfcError::Exists);
                }
                if (!folders.count(parentOf(path))) {
                    return status(request, AfcError::NotFound);  // no parents made here
                }
                folders.insert(path);
                return status(request, 0);
            }
            case afc::kOpRemovePath: {
                const std::string& path = strings.at(0);
                if (files.erase(path)) {
                    return status(request, 0);
                }
                if (!folders.count(path)) {
                    return status(request, AfcError::NotFound);
                }
                for (const auto& [file, bytes] : files) {
                    if (parentOf(file) == path) {
                        return status(request, AfcError::Unknown);  // as older devices do
                    }
                }
                folders.erase(path);
                return status(request, 0);
            }
            case afc::kOpRenamePath: {
                auto it = files.find(strings.at(0));
                if (it == files.end()) {
                    return status(request, AfcError::NotFound);
                }
                files[strings.at(1)] = it->second;
                files.erase(strings.at(0));
                return status(request, 0);
            }
            case afc::kOpFileOpen: {
                const std::uint64_t mode = le64(request.arguments.data());
                const std::string path(reinterpret_cast<const char*>(request.arguments.data()) + 8);
                if (mode == afc::kModeReadOnly && !files.count(path)) {
                    return status(request, AfcError::NotFound);
                }
                if (mode == afc::kModeWriteOnly) {
                    files[path].clear();
                }
                open_[++lastHandle_] = {path, 0};
                std::vector<std::uint8_t> handle;
                putLe64(handle, lastHandle_);
                return reply(request, afc::kOpFileOpenResult, handle);
            }
            case afc::kOpFileRead: {
                auto& [path, offset] = open_.at(le64(request.arguments.data()));
                const std::uint64_t wanted = le64(request.arguments.data() + 8);
                const auto& bytes = files[path];
                const std::size_t n =
                    std::min<std::size_t>(wanted, bytes.size() - std::min(offset, bytes.size()));
                std::vector<std::uint8_t> data(bytes.begin() + static_cast<long>(offset),
                                               bytes.begin() + static_cast<long>(offset + n));
                offset += n;
                return reply(request, afc::kOpData, data);
            }
            case afc::kOpFileWrite: {
                auto& [path, offset] = open_.at(le64(request.arguments.data()));
                auto& bytes = files[path];
                bytes.insert(bytes.end(), request.payload.begin(), request.payload.end());
                offset += request.payload.size();
                return status(request, 0);
            }
            case afc::kOpFileClose:
                open_.erase(le64(request.arguments.data()));
                return status(request, 0);
            default:
                return status(request, 15);  // not supported
        }
    }

    std::vector<std::uint8_t> inbox_;
    std::deque<std::uint8_t> outbox_;
    std::map<std::uint64_t, std::pair<std::string, std::size_t>> open_;
    std::uint64_t lastHandle_ = 0;
    bool closed_ = false;
};

class AfcProtocol : public ::testing::Test {
  protected:
    std::shared_ptr<FakeAfcPeer> peer = std::make_shared<FakeAfcPeer>();
    ProtocolAfcConnection client{peer};

    std::vector<std::uint8_t> readAll(const std::string& path, std::size_t chunk) {
        std::unique_ptr<md::AfcFile> file;
        EXPECT_EQ(client.openFile(path, md::AfcMode::Read, file), 0);
        std::vector<std::uint8_t> out;
        if (!file) {
            return out;
        }
        std::vector<std::uint8_t> buffer(chunk);
        for (;;) {
            std::size_t n = buffer.size();
            EXPECT_EQ(file->read(buffer.data(), n), 0);
            if (n == 0) {
                break;
            }
            out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
        }
        EXPECT_EQ(file->close(), 0);
        return out;
    }
};

}  // namespace

TEST_F(AfcProtocol, ListsFoldersAndReadsAttributesAsTheDeviceGivesThem) {
    peer->folders.insert("/DCIM");
    peer->files["/DCIM/IMG_0001.JPG"] = std::vector<std::uint8_t>(1234, 7);

    std::vector<std::string> names;
    ASSERT_EQ(client.readDirectory("/", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "DCIM"}));
    ASSERT_EQ(client.readDirectory("/DCIM/", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "IMG_0001.JPG"}));
    EXPECT_EQ(client.readDirectory("/Missing", names), AfcError::NotFound);
    EXPECT_TRUE(names.empty());

    std::vector<std::pair<std::string, std::string>> info;
    ASSERT_EQ(client.fileInfo("/DCIM/IMG_0001.JPG", info), 0);
    // A key without a value at the end is dropped.
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[0], (std::pair<std::string, std::string>{"st_size", "1234"}));
    EXPECT_EQ(info[1], (std::pair<std::string, std::string>{"st_ifmt", "S_IFREG"}));
    EXPECT_EQ(client.fileInfo("/nope", info), AfcError::NotFound);
    EXPECT_TRUE(info.empty());
}

TEST_F(AfcProtocol, CopiesFilesBothWaysInBoundedPackets) {
    std::vector<std::uint8_t> content(200 * 1024 + 17);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<std::uint8_t>(i * 31);
    }
    std::unique_ptr<md::AfcFile> file;
    ASSERT_EQ(client.openFile("/Downloads/new.bin", md::AfcMode::Write, file), 0);
    ASSERT_EQ(file->write(content.data(), content.size()), 0);
    std::size_t n = 10;
    EXPECT_EQ(file->read(content.data(), n), AfcError::PermissionDenied);
    ASSERT_EQ(file->close(), 0);
    EXPECT_EQ(file->close(), AfcError::NotConnected);
    EXPECT_EQ(peer->files["/Downloads/new.bin"], content);
    // No write packet carries more than one chunk.
    EXPECT_EQ(peer->writesOf(afc::kOpFileWrite),
              (content.size() + afc::kWriteChunk - 1) / afc::kWriteChunk);
    for (const auto& request : peer->requests) {
        EXPECT_LE(request.payload.size(), afc::kWriteChunk);
    }

    EXPECT_EQ(readAll("/Downloads/new.bin", 4096), content);
    EXPECT_EQ(readAll("/Downloads/new.bin", 3 * 1024 * 1024), content);

    // An empty file reads as its end at once; a missing one does not open.
    peer->files["/empty"] = {};
    EXPECT_TRUE(readAll("/empty", 4096).empty());
    EXPECT_EQ(client.openFile("/missing", md::AfcMode::Read, file), AfcError::NotFound);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(client.openFile("/x", 7, file), AfcError::InvalidArgument);
}

TEST_F(AfcProtocol, FoldersAreMadeWithTheirParentsRemovedAndRenamed) {
    ASSERT_EQ(client.makeDirectory("/PublicStaging/app.app/Frameworks"), 0);
    EXPECT_TRUE(peer->folders.count("/PublicStaging"));
    EXPECT_TRUE(peer->folders.count("/PublicStaging/app.app/Frameworks"));
    EXPECT_EQ(client.makeDirectory("/PublicStaging"), 0);  // already there

    peer->files["/PublicStaging/file"] = {1, 2, 3};
    EXPECT_EQ(client.makeDirectory("/PublicStaging/file"), AfcError::Exists);
    EXPECT_EQ(client.renamePath("/PublicStaging/file", "/PublicStaging/moved"), 0);
    EXPECT_TRUE(peer->files.count("/PublicStaging/moved"));
    // A folder that isn't empty stays, and says so in the AFC way.
    peer->folders.insert("/Full");
    peer->files["/Full/a"] = {1};
    EXPECT_EQ(client.removePath("/Full"), AfcError::NotEmpty);
    EXPECT_EQ(client.removePath("/Full/a"), 0);
    EXPECT_EQ(client.removePath("/Full"), 0);
    EXPECT_EQ(client.removePath("/Full"), AfcError::NotFound);
}

TEST_F(AfcProtocol, PathsAreNormalisedAndNulIsRefusedBeforeAnythingIsSent) {
    peer->folders.insert("/b");
    std::vector<std::string> names;
    ASSERT_EQ(client.readDirectory("/a/../../b/./", names), 0);
    ASSERT_EQ(peer->requests.size(), 1u);
    EXPECT_EQ(peer->requests[0].strings(), (std::vector<std::string>{"/b"}));
    EXPECT_EQ(afc::wirePath(""), "/");
    EXPECT_EQ(afc::wirePath("Library//Caches/"), "/Library/Caches");

    const std::string withNul("/DCIM\0/../etc", 13);
    EXPECT_EQ(client.readDirectory(withNul, names), AfcError::InvalidArgument);
    EXPECT_EQ(client.removePath(withNul), AfcError::InvalidArgument);
    EXPECT_EQ(client.renamePath("/a", withNul), AfcError::InvalidArgument);
    EXPECT_EQ(client.removePath("/" + std::string(afc::kMaxPathBytes, 'x')),
              AfcError::InvalidArgument);
    EXPECT_EQ(peer->requests.size(), 1u);
}

TEST_F(AfcProtocol, RepliesThatBreakTheRulesBreakTheClientForGood) {
    struct Case {
        const char* what;
        std::function<void(const Request&, std::vector<std::uint8_t>&)> tamper;
    };
    const std::vector<Case> cases = {
        {"another packet number", [](const Request&, std::vector<std::uint8_t>& p) { p[24]++; }},
        {"a wrong magic", [](const Request&, std::vector<std::uint8_t>& p) { p[0] = 'X'; }},
        {"a length far beyond any listing",
         [](const Request&, std::vector<std::uint8_t>& p) {
             p[8 + 5] = 0x10;  // 2^44 bytes claimed
         }},
        {"a header length shorter than a header",
         [](const Request&, std::vector<std::uint8_t>& p) { p[16] = 8; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto hostile = std::make_shared<FakeAfcPeer>();
        hostile->folders.insert("/a");
        ProtocolAfcConnection afcClient(hostile);
        hostile->tamper = c.tamper;
        std::vector<std::string> names;
        EXPECT_EQ(afcClient.readDirectory("/a", names), AfcError::HeaderInvalid);
        EXPECT_TRUE(names.empty());
        // What comes next can't be matched to a request: nothing more is sent.
        hostile->tamper = nullptr;
        const std::size_t sent = hostile->requests.size();
        EXPECT_EQ(afcClient.readDirectory("/a", names), AfcError::NotConnected);
        EXPECT_EQ(hostile->requests.size(), sent);
    }
}

TEST_F(AfcProtocol, AReadNeverTakesMoreThanItAskedFor) {
    peer->files["/f"] = std::vector<std::uint8_t>(100, 1);
    std::unique_ptr<md::AfcFile> file;
    ASSERT_EQ(client.openFile("/f", md::AfcMode::Read, file), 0);
    peer->tamper = [](const Request& request, std::vector<std::uint8_t>& packet) {
        if (request.operation == afc::kOpFileRead) {
            packet.resize(afc::kHeaderSize + 40, 9);  // 40 bytes for a read of 32
            packet[8] = static_cast<std::uint8_t>(packet.size());
        }
    };
    std::vector<std::uint8_t> buffer(32, 0);
    std::size_t n = buffer.size();
    EXPECT_NE(file->read(buffer.data(), n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(32, 0));
}

TEST_F(AfcProtocol, APeerThatClosesMidReplyEndsTheClient) {
    peer->folders.insert("/a");
    peer->closeAfterHeader = true;
    std::vector<std::string> names;
    EXPECT_EQ(client.readDirectory("/a", names), AfcError::NotConnected);
    EXPECT_EQ(client.makeDirectory("/b"), AfcError::NotConnected);
    EXPECT_EQ(client.close(), AfcError::NotConnected);
}

TEST_F(AfcProtocol, CloseEndsTheConnectionAndItsFiles) {
    peer->files["/f"] = {1, 2, 3};
    std::unique_ptr<md::AfcFile> file;
    ASSERT_EQ(client.openFile("/f", md::AfcMode::Read, file), 0);
    ASSERT_EQ(client.close(), 0);
    EXPECT_EQ(client.close(), AfcError::NotConnected);
    std::vector<std::string> names;
    EXPECT_EQ(client.readDirectory("/", names), AfcError::NotConnected);
    std::uint8_t buffer[3];
    std::size_t n = sizeof buffer;
    EXPECT_EQ(file->read(buffer, n), AfcError::NotConnected);
    file.reset();  // no close request goes out on a closed connection
    EXPECT_EQ(peer->writesOf(afc::kOpFileClose), 0u);
}

TEST_F(AfcProtocol, ClientsSharingAWireTakeTurnsAndCloseOnlyThemselves) {
    // As an app transfer does: a second client over the service connection of the first.
    auto wire = std::make_shared<md::imd::AfcWire>(peer);
    ProtocolAfcConnection first(wire);
    ProtocolAfcConnection second(wire);
    peer->folders.insert("/PublicStaging");
    std::vector<std::string> names;
    ASSERT_EQ(first.readDirectory("/", names), 0);
    ASSERT_EQ(second.makeDirectory("/PublicStaging/app"), 0);
    ASSERT_EQ(second.close(), 0);
    EXPECT_EQ(second.readDirectory("/", names), AfcError::NotConnected);
    ASSERT_EQ(first.readDirectory("/PublicStaging", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "app"}));
    // One numbering for both, so every reply matches its request.
    for (std::size_t i = 0; i < peer->requests.size(); ++i) {
        EXPECT_EQ(peer->requests[i].number, i + 1);
    }
}
