// The host's side of the device-link exchange, against a scripted device: the names the device
// gives never lead out of the folder, uploaded files appear whole or not at all, files the device
// asks for are sent or refused as the device expects, and the device's result is its word.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/device_link.h"
#include "test_support.h"

namespace nimbara::backup {
namespace {

namespace fs = std::filesystem;
using test::filesBelow;
using test::readText;
using test::TempDir;
using test::writeText;

constexpr const char* kUdid = "00008030-001A2D3E0C38802E";

std::string be32(std::size_t n) {
    return {static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
            static_cast<char>(n)};
}
std::string name(const std::string& text) {
    return be32(text.size()) + text;
}
std::string block(char code, const std::string& data) {
    return be32(data.size() + 1) + code + data;
}
// One uploaded file: its names, its data in blocks, its end.
std::string uploaded(const std::string& file, const std::vector<std::string>& blocks,
                     char end = 0x00) {
    std::string stream = name("/var/mobile/x") + name(file);
    for (const std::string& data : blocks) {
        stream += block(0x0c, data);
    }
    return stream + block(end, "");
}

PlistValue message(const char* kind, std::vector<PlistValue> items = {}) {
    PlistValue m = PlistValue::array();
    m.append(kind);
    for (PlistValue& item : items) {
        m.append(std::move(item));
    }
    return m;
}
PlistValue result(int code, const char* text = "") {
    PlistValue said = PlistValue::dict();
    said.set("ErrorCode", code);
    said.set("ErrorDescription", text);
    return message("DLMessageProcessMessage", {said});
}

struct Status {
    int code;
    std::string text;
    PlistValue contents;
};

// A device that sends the scripted messages and raw bytes, and keeps what it was sent.
class ScriptedDevice final : public DeviceLinkTransport {
  public:
    std::deque<PlistValue> messages;
    std::string raw;
    std::string sent;
    std::vector<Status> statuses;

    Receive receiveMessage(PlistValue& m) override {
        if (messages.empty()) {
            return Receive::Failed;
        }
        m = messages.front();
        messages.pop_front();
        return Receive::Message;
    }
    bool sendRaw(const void* data, std::size_t length) override {
        sent.append(static_cast<const char*>(data), length);
        return true;
    }
    bool receiveRaw(void* data, std::size_t length) override {
        if (raw.size() < length) {
            raw.clear();
            return false;
        }
        raw.copy(static_cast<char*>(data), length);
        raw.erase(0, length);
        return true;
    }
    bool sendStatus(int code, const std::string& text, const PlistValue& contents) override {
        statuses.push_back({code, text, contents});
        return true;
    }
};

class DeviceLinkTest : public ::testing::Test {
  protected:
    void SetUp() override { fs::create_directories(folder()); }
    fs::path folder() const { return tmp_ / "backup" / kUdid; }
    DeviceLinkEnd run(bool readOnly = false) {
        DeviceLinkOptions options;
        options.top = kUdid;
        options.folder = folder();
        options.spaceOf = tmp_.path();
        options.readOnly = readOnly;
        options.progress = [this](double p) { progress_.push_back(p); };
        return runDeviceLink(device_, options);
    }

    TempDir tmp_;
    ScriptedDevice device_;
    std::vector<double> progress_;
};

TEST(LinkedPathTest, NamesStayInsideTheFolder) {
    const std::string top = kUdid;
    struct Row {
        std::string name;
        std::optional<std::string> path;
    } rows[] = {
        {top + "/Manifest.db", "Manifest.db"},
        {top + "/ab/abcdef", "ab/abcdef"},
        {top + "/Snapshot/", "Snapshot"},
        {top, ""},
        {top + "/", ""},
        {top + "/../escape", std::nullopt},
        {top + "/a/../../escape", std::nullopt},
        {top + "/./a", std::nullopt},
        {top + "//a", std::nullopt},
        {top + "X/a", std::nullopt},
        {"/" + top + "/a", std::nullopt},
        {"/etc/passwd", std::nullopt},
        {"other/a", std::nullopt},
        {top + std::string("/a\0b", 4), std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(linkedPath(top, row.name), row.path) << row.name;
    }
}

TEST_F(DeviceLinkTest, UploadedFilesAreStoredWholeAndOnlyInsideTheFolder) {
    const std::string top = kUdid;
    struct Row {
        const char* what;
        std::string stream;
        std::vector<std::string> files;  // below the folder afterwards
        int status;                      // the answer to the upload
    } rows[] = {
        {"two blocks", uploaded(top + "/ab/abc1", {"hello ", "world"}), {"ab/abc1"}, 0},
        {"empty file", uploaded(top + "/Status.plist", {}), {"Status.plist"}, 0},
        {"data ended by remote error", uploaded(top + "/f", {"data"}, 0x0b), {"f"}, 0},
        {"remote error without data",
         name("/d") + name(top + "/f") + block(0x0b, "cannot read"),
         {},
         0},
        {"leaves the folder", uploaded(top + "/../../outside", {"x"}), {}, -1},
        {"absolute", uploaded("/tmp/outside", {"x"}), {}, -1},
        {"another device", uploaded("OTHER/f", {"x"}), {}, -1},
        {"good after refused",
         uploaded(top + "/../x", {"x"}) + uploaded(top + "/kept", {"y"}),
         {"kept"},
         -1},
    };
    for (const Row& row : rows) {
        fs::remove_all(folder());
        fs::create_directories(folder());
        device_ = ScriptedDevice();
        device_.raw = row.stream + be32(0);
        PlistValue upload = message("DLMessageUploadFiles", {PlistValue::dict(), 12.5});
        device_.messages = {upload, result(0)};
        const DeviceLinkEnd end = run();
        EXPECT_EQ(end.kind, DeviceLinkEnd::Kind::Finished) << row.what;
        EXPECT_EQ(filesBelow(tmp_.path()), [&] {
            std::vector<std::string> below;
            for (const std::string& f : row.files) {
                below.push_back("backup/" + top + "/" + f);
            }
            return below;
        }()) << row.what;
        ASSERT_EQ(device_.statuses.size(), 1u) << row.what;
        EXPECT_EQ(device_.statuses[0].code, row.status) << row.what;
        EXPECT_TRUE(device_.raw.empty()) << row.what << ": the stream was followed to its end";
    }
    EXPECT_EQ(readText(folder() / "kept"), "y");
    EXPECT_EQ(progress_.back(), 12.5);
}

TEST_F(DeviceLinkTest, AnUploadCutShortLeavesNoPartialFile) {
    writeText(folder() / "f", "earlier");
    for (const std::string& cut : {uploaded(std::string(kUdid) + "/f", {"new data"}).substr(0, 30),
                                   name("/d") + name(std::string(kUdid) + "/f")}) {
        device_ = ScriptedDevice();
        device_.raw = cut;
        device_.messages = {message("DLMessageUploadFiles", {PlistValue::dict(), 1.0})};
        EXPECT_EQ(run().kind, DeviceLinkEnd::Kind::Gone);
        EXPECT_EQ(filesBelow(folder()), std::vector<std::string>{"f"});
        EXPECT_EQ(readText(folder() / "f"), "earlier");
    }
}

TEST_F(DeviceLinkTest, FilesAskedForAreSentOrRefused) {
    const std::string top = kUdid;
    writeText(folder() / "Status.plist", "status");
    writeText(folder() / "empty", "");
    writeText(tmp_ / "secret", "secret");
    fs::create_directory_symlink(tmp_.path(), folder() / "link");
    PlistValue names = PlistValue::array();
    for (const std::string& n : {top + "/Status.plist", top + "/empty", top + "/missing",
                                 top + "/../../secret", top + "/link/secret"}) {
        names.append(n);
    }
    device_.messages = {message("DLMessageDownloadFiles", {names, PlistValue::dict(), 40.0}),
                        result(0)};
    run();
    const std::string refused = block(0x06, "No such file or directory");
    EXPECT_EQ(device_.sent, name(top + "/Status.plist") + block(0x0c, "status") + block(0, "") +
                                name(top + "/empty") + block(0, "") + name(top + "/missing") +
                                refused + name(top + "/../../secret") + refused +
                                name(top + "/link/secret") + refused + be32(0));
    ASSERT_EQ(device_.statuses.size(), 1u);
    EXPECT_EQ(device_.statuses[0].code, -13);
    EXPECT_EQ(device_.statuses[0].contents.size(), 3u);
    EXPECT_EQ(device_.statuses[0].contents[top + "/missing"]["DLFileErrorCode"].toInt64(),
              static_cast<std::uint32_t>(-6));
    EXPECT_EQ(progress_, std::vector<double>{40.0});
}

TEST_F(DeviceLinkTest, ChangesTheDeviceAsksForStayInsideTheFolder) {
    const std::string top = kUdid;
    writeText(tmp_ / "outside", "keep");
    auto dict = [](const std::string& from, const std::string& to) {
        PlistValue d = PlistValue::dict();
        d.set(from, to);
        return d;
    };
    auto list = [](const std::string& one) {
        PlistValue a = PlistValue::array();
        a.append(one);
        return a;
    };
    struct Row {
        const char* what;
        PlistValue message;
        int status;
    } rows[] = {
        {"new folder", message("DLMessageCreateDirectory", {top + "/Snapshot"}), 0},
        {"folder again", message("DLMessageCreateDirectory", {top + "/Snapshot"}), 0},
        {"copy", message("DLMessageCopyItem", {top + "/Snapshot", top + "/Copy"}), 0},
        {"move", message("DLMessageMoveItems", {dict(top + "/Copy", top + "/Moved"), 0, 50.0}), 0},
        {"move out", message("DLMessageMoveFiles", {dict(top + "/Moved", top + "/../out")}), -1},
        {"remove out", message("DLMessageRemoveItems", {list(top + "/../../outside")}), -1},
        {"remove the folder itself", message("DLMessageRemoveFiles", {list(top)}), -1},
        {"remove missing", message("DLMessageRemoveItems", {list(top + "/missing")}), 0},
        {"remove", message("DLMessageRemoveItems", {list(top + "/Snapshot")}), 0},
        // What the host does not do is answered all the same: the device waits for it.
        {"purge", message("DLMessagePurgeDiskSpace", {PlistValue(std::uint64_t{1} << 30)}), -1},
        {"unknown", message("DLMessageSomethingNew"), -1},
    };
    for (Row& row : rows) {
        device_ = ScriptedDevice();
        device_.messages = {row.message, result(0)};
        run();
        ASSERT_EQ(device_.statuses.size(), 1u) << row.what;
        EXPECT_EQ(device_.statuses[0].code, row.status) << row.what;
    }
    EXPECT_EQ(test::folderNames(folder()), std::vector<std::string>{"Moved"});
    EXPECT_EQ(readText(tmp_ / "outside"), "keep");
}

TEST_F(DeviceLinkTest, ARestoreOnlyReads) {
    const std::string top = kUdid;
    writeText(folder() / "Manifest.db", "db");
    fs::create_directory_symlink(tmp_.path(), folder() / "link");
    PlistValue remove = PlistValue::array();
    remove.append(top + "/Manifest.db");
    device_.raw = uploaded(top + "/new", {"x"}) + be32(0);
    device_.messages = {message("DLMessageUploadFiles", {PlistValue::dict(), 1.0}),
                        message("DLMessageRemoveItems", {remove}),
                        message("DLMessageCreateDirectory", {top + "/d"}),
                        message("DLContentsOfDirectory", {top}),
                        message("DLMessageGetFreeDiskSpace"),
                        message("DLContentsOfDirectory", {top + "/link"}),
                        result(0)};
    EXPECT_EQ(run(true).kind, DeviceLinkEnd::Kind::Finished);
    EXPECT_EQ(filesBelow(folder()), std::vector<std::string>{"Manifest.db"});
    ASSERT_EQ(device_.statuses.size(), 6u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(device_.statuses[i].code, 0) << i;
    }
    const PlistValue& listed = device_.statuses[3].contents;
    EXPECT_EQ(listed["Manifest.db"]["DLFileType"].toString(), "DLFileTypeRegular");
    EXPECT_EQ(listed["Manifest.db"]["DLFileSize"].toInt64(), 2);
    EXPECT_EQ(device_.statuses[4].code, 0);
    EXPECT_GT(device_.statuses[4].contents.toInt64(), 0);
    EXPECT_NE(device_.statuses[5].code, 0);  // nothing is listed through a link
    EXPECT_EQ(device_.statuses[5].contents.size(), 0u);
}

TEST_F(DeviceLinkTest, TheDeviceSaysHowTheRunEnded) {
    struct Row {
        std::deque<PlistValue> messages;
        DeviceLinkEnd::Kind kind;
        long code;
        std::string text;
    } rows[] = {
        {{result(0)}, DeviceLinkEnd::Kind::Finished, 0, ""},
        {{result(105, "Insufficient free disk space")},
         DeviceLinkEnd::Kind::DeviceError,
         105,
         "Insufficient free disk space"},
        {{message("DLMessageDisconnect")}, DeviceLinkEnd::Kind::DeviceError, -1, ""},
        {{message("DLMessageSomethingNew"), result(0)}, DeviceLinkEnd::Kind::Finished, 0, ""},
        {{}, DeviceLinkEnd::Kind::Gone, 0, ""},
    };
    for (Row& row : rows) {
        device_ = ScriptedDevice();
        device_.messages = row.messages;
        const DeviceLinkEnd end = run();
        EXPECT_EQ(end.kind, row.kind) << row.text;
        EXPECT_EQ(end.code, row.code) << row.text;
        EXPECT_EQ(end.text, row.text);
    }
}

TEST_F(DeviceLinkTest, AStopEndsTheRunBeforeTheNextMessage) {
    device_.messages = {message("DLMessageGetFreeDiskSpace"), result(0)};
    DeviceLinkOptions options;
    options.top = kUdid;
    options.folder = folder();
    options.spaceOf = tmp_.path();
    int asked = 0;
    options.stop = [&asked] { return ++asked > 1; };
    EXPECT_EQ(runDeviceLink(device_, options).kind, DeviceLinkEnd::Kind::Stopped);
    EXPECT_EQ(device_.statuses.size(), 1u);
    EXPECT_EQ(device_.messages.size(), 1u);
}

}  // namespace
}  // namespace nimbara::backup
