// Simulated device folders that are broken or hostile: device.plist files that are huge or nested
// without end, areas that are links out of the device's folder, and folders swapped under their
// name while a device is attached.
#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/mobiledevice/sim/sim_area.h"
#include "platform/mobiledevice/sim/sim_folder.h"
#include "platform/mobiledevice/sim/simulated_device.h"
#include "sim_test_device.h"

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::PlistValue;
using nimbara::test::EventLoop;
using nimbara::test::Events;
using nimbara::test::readText;
using nimbara::test::SimTestDevice;
using nimbara::test::startSession;
using nimbara::test::TempDir;
using nimbara::test::writeText;

namespace {

using Change = md::sim::DeviceFolder::ParentChange;

// Counts the library's device.plist reads and the threads they ran on.
struct ReadLog {
    std::mutex mutex;
    int reads = 0;
    std::set<std::thread::id> threads;

    void watch(md::sim::SimulatedLibrary& library) {
        library.setConfigReadObserver([this](const std::string&) {
            std::lock_guard<std::mutex> lock(mutex);
            ++reads;
            threads.insert(std::this_thread::get_id());
        });
    }
    int count() {
        std::lock_guard<std::mutex> lock(mutex);
        return reads;
    }
};

// A library over a root folder, subscribed to, with its events and device.plist reads recorded.
struct WatchedRoot {
    explicit WatchedRoot(const fs::path& root) : library(root.string()) { log.watch(library); }
    void subscribe() { ASSERT_EQ(library.subscribe(events.callback(), subscription), 0); }

    md::sim::SimulatedLibrary library;
    ReadLog log;
    Events events;
    std::unique_ptr<md::Subscription> subscription;
};

// About 3 MB for 200,000 levels: within the size a device.plist may have.
std::string deepXml(int levels) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">";
    for (int i = 0; i < levels; ++i) {
        xml += "<array>";
    }
    for (int i = 0; i < levels; ++i) {
        xml += "</array>";
    }
    return xml + "</plist>";
}

std::unique_ptr<md::AfcConnection> openAfc(const md::DeviceHandle& handle,
                                           std::unique_ptr<md::ServiceConnection>& service,
                                           const std::string& name = "com.apple.afc") {
    EXPECT_EQ(handle->startService(name, service), 0);
    std::unique_ptr<md::AfcConnection> afc;
    if (service) {
        EXPECT_EQ(service->openAfc(afc), 0);
    }
    return afc;
}

// A device attached in a session, with an AFC connection to its media.
struct Connected {
    md::DeviceHandle device;
    std::unique_ptr<md::ServiceConnection> service;
    std::unique_ptr<md::AfcConnection> afc;
};

Connected connect(md::sim::SimulatedLibrary& library, const SimTestDevice& device) {
    Connected connected;
    connected.device = library.attach(device.str());
    if (connected.device) {
        startSession(connected.device);
        connected.afc = openAfc(connected.device, connected.service);
    }
    return connected;
}

}  // namespace

TEST(SimHostileFolders, ADeviceFolderWithADeepDevicePlistIsRefusedNotACrash) {
    TempDir tmp;
    SimTestDevice device(tmp / "deep", "UDID-DEEP");
    const std::string deep = deepXml(200000);
    ASSERT_LT(deep.size(), md::sim::kMaxDevicePlistBytes);
    writeText(device.dir() / "device.plist", deep);
    WatchedRoot root(tmp.path());
    root.subscribe();
    root.library.rescan();
    EXPECT_TRUE(root.events.seen.empty());
    EXPECT_FALSE(root.library.attach(device.str()));
}

TEST(SimHostileFolders, AnOversizedOrBrokenDevicePlistIsReadOnceUntilItChanges) {
    TempDir tmp;
    SimTestDevice device(tmp / "huge", "UDID-HUGE");
    // A valid list, only far larger than any real device.plist.
    std::string huge = device.config().toXml();
    huge.insert(huge.find("<dict>"), std::string(md::sim::kMaxDevicePlistBytes, ' '));
    writeText(device.dir() / "device.plist", huge);
    SimTestDevice broken(tmp / "broken", "UDID-BROKEN");
    writeText(broken.dir() / "device.plist", "<?xml version=\"1.0\"?><plist><dict><key>");

    WatchedRoot root(tmp.path());
    root.subscribe();
    for (int poll = 0; poll < 4; ++poll) {
        root.library.rescan();
    }
    EXPECT_TRUE(root.events.seen.empty());
    EXPECT_EQ(root.log.count(), 2) << "each folder is read once, not on every poll";

    // Once a file changes it is read again, and a sound one attaches.
    device.write();
    root.library.rescan();
    ASSERT_EQ(root.events.seen.size(), 1u);
    EXPECT_EQ(root.library.findByUdid("UDID-HUGE"), root.events.seen[0].device);
    EXPECT_EQ(root.log.count(), 3);
    root.library.rescan();
    EXPECT_EQ(root.log.count(), 3);
}

TEST(SimHostileFolders, FoldersAreReadOnTheLibrarysWorkerNeverOnTheSubscribersThread) {
    EventLoop loop;
    TempDir tmp;
    SimTestDevice first(tmp / "first", "UDID-1");
    WatchedRoot root(tmp.path());
    root.subscribe();
    const auto& seen = root.events.seen;
    ASSERT_TRUE(loop.runUntil([&] { return seen.size() == 1; }));
    SimTestDevice second(tmp / "second", "UDID-2");
    ASSERT_TRUE(loop.runUntil([&] { return seen.size() == 2; }));

    for (const auto& event : seen) {
        EXPECT_EQ(event.message, md::kMessageAttached);
        EXPECT_EQ(event.thread, QThread::currentThread()) << "events come through the loop";
    }
    std::lock_guard<std::mutex> lock(root.log.mutex);
    EXPECT_GE(root.log.reads, 2);
    EXPECT_FALSE(root.log.threads.count(std::this_thread::get_id()));
}

TEST(SimHostileFolders, AnAreaThatIsALinkOutOfTheDeviceFolderIsRefused) {
    TempDir tmp;
    const fs::path outside = tmp / "elsewhere";
    writeText(outside / "keep.txt", "not the device's");
    md::sim::SimulatedLibrary library;

    // At the attach: the device is refused, with the reason in the log.
    for (const std::string area : {"media", "crashes", "apps", "backup-source"}) {
        SimTestDevice linked(tmp / ("linked-" + area), "UDID-" + area);
        fs::remove_all(linked.dir() / area);
        fs::create_directory_symlink(outside, linked.dir() / area);
        EXPECT_FALSE(library.attach(linked.str())) << area;
    }

    // Linked after the attach: the services refuse to start...
    SimTestDevice device(tmp / "device", "UDID-L");
    device.media("DCIM/a.jpg", "a");
    auto handle = library.attach(device.str());
    ASSERT_TRUE(handle);
    startSession(handle);
    std::unique_ptr<md::ServiceConnection> early;
    auto afc = openAfc(handle, early);
    ASSERT_TRUE(afc);
    fs::rename(device.dir() / "media", tmp / "media-real");
    fs::create_directory_symlink(outside, device.dir() / "media");
    fs::remove_all(device.dir() / "crashes");
    fs::create_directory_symlink(outside, device.dir() / "crashes");
    std::unique_ptr<md::ServiceConnection> refused;
    EXPECT_EQ(handle->startService("com.apple.afc", refused), md::Error::ServiceRefused);
    EXPECT_EQ(handle->startService("com.apple.crashreportcopymobile", refused),
              md::Error::ServiceRefused);

    // ... and a connection started before the link went in reaches nothing through it.
    EXPECT_NE(afc->removePath("/keep.txt"), 0);
    std::vector<std::string> names;
    EXPECT_NE(afc->readDirectory("/", names), 0);
    std::unique_ptr<md::AfcFile> file;
    EXPECT_NE(afc->openFile("/keep.txt", md::AfcMode::Write, file), 0);
    EXPECT_EQ(readText(outside / "keep.txt"), "not the device's");
    EXPECT_EQ(readText(tmp / "media-real/DCIM/a.jpg"), "a");

    // A refused folder under the root is looked at again once its link is put right.
    fs::create_directories(tmp / "root");
    fs::rename(tmp / "linked-media", tmp / "root/linked-media");
    WatchedRoot root(tmp / "root");
    root.subscribe();
    root.library.rescan();
    EXPECT_TRUE(root.events.seen.empty());
    fs::remove(tmp / "root/linked-media/media");
    fs::create_directory(tmp / "root/linked-media/media");
    root.library.rescan();
    ASSERT_EQ(root.events.seen.size(), 1u);
    EXPECT_EQ(root.library.findByUdid("UDID-media"), root.events.seen[0].device);
}

TEST(SimHostileFolders, AFolderSwappedUnderItsNameIsADetachAndAnAttach) {
    TempDir tmp;
    fs::create_directories(tmp / "devices");
    SimTestDevice a(tmp / "devices/phone", "UDID-A");
    a.media("DCIM/a.jpg", "a");
    SimTestDevice b(tmp / "staging/phone", "UDID-B");
    b.media("DCIM/b.jpg", "b");
    b.media("DCIM/a.jpg", "b's own a");

    WatchedRoot root(tmp / "devices");
    root.subscribe();
    md::sim::SimulatedLibrary& library = root.library;
    const auto& events = root.events;
    ASSERT_EQ(events.seen.size(), 1u);
    const md::DeviceHandle deviceA = events.seen[0].device;
    startSession(deviceA);
    std::unique_ptr<md::ServiceConnection> service;
    auto afc = openAfc(deviceA, service);
    ASSERT_TRUE(afc);

    // A's folder goes away and B's takes its name.
    fs::rename(tmp / "devices/phone", tmp / "a-away");
    fs::rename(tmp / "staging/phone", tmp / "devices/phone");

    // A's connection notices before any look at the root: it fails, and touches nothing.
    EXPECT_EQ(afc->removePath("/DCIM/a.jpg"), md::AfcError::NotConnected);
    EXPECT_EQ(afc->removePath("/DCIM/b.jpg"), md::AfcError::NotConnected);
    EXPECT_FALSE(deviceA->attached());
    EXPECT_EQ(readText(tmp / "devices/phone/media/DCIM/b.jpg"), "b");
    EXPECT_EQ(readText(tmp / "devices/phone/media/DCIM/a.jpg"), "b's own a");
    EXPECT_EQ(readText(tmp / "a-away/media/DCIM/a.jpg"), "a");

    library.rescan();
    ASSERT_EQ(events.seen.size(), 3u);
    EXPECT_EQ(events.seen[1].message, md::kMessageDetached);
    EXPECT_EQ(events.seen[1].device, deviceA);
    EXPECT_EQ(events.seen[2].message, md::kMessageAttached);
    const md::DeviceHandle deviceB = events.seen[2].device;
    EXPECT_NE(deviceB->identifier(), deviceA->identifier());
    EXPECT_EQ(library.findByUdid("UDID-B"), deviceB);
    EXPECT_FALSE(library.findByUdid("UDID-A"));

    // A's old handle stays dead; B's files are B's.
    std::unique_ptr<md::ServiceConnection> again;
    EXPECT_EQ(deviceA->connect(), md::Error::DeviceGone);
    EXPECT_EQ(deviceA->startService("com.apple.afc", again), md::Error::DeviceGone);
    EXPECT_EQ(afc->removePath("/DCIM/b.jpg"), md::AfcError::NotConnected);
    EXPECT_TRUE(fs::exists(tmp / "devices/phone/media/DCIM/b.jpg"));

    // Swapped back without any operation in between: the look at the root notices.
    fs::rename(tmp / "devices/phone", tmp / "staging/phone");
    fs::rename(tmp / "a-away", tmp / "devices/phone");
    library.rescan();
    ASSERT_EQ(events.seen.size(), 5u);
    EXPECT_EQ(events.seen[3].device, deviceB);
    EXPECT_EQ(events.seen[3].message, md::kMessageDetached);
    EXPECT_FALSE(deviceB->attached());
    EXPECT_EQ(events.seen[4].message, md::kMessageAttached);
    EXPECT_EQ(library.findByUdid("UDID-A"), events.seen[4].device);
    EXPECT_NE(events.seen[4].device->identifier(), deviceA->identifier());
}

TEST(SimHostileFolders, ADevicePlistNamingAnotherDeviceIsADetachAndAnAttach) {
    TempDir tmp;
    SimTestDevice device(tmp / "phone", "UDID-OLD");
    WatchedRoot root(tmp.path());
    root.subscribe();
    md::sim::SimulatedLibrary& library = root.library;
    const auto& events = root.events;
    ASSERT_EQ(events.seen.size(), 1u);
    const md::DeviceHandle old = events.seen[0].device;

    // A change that keeps the identity keeps the device.
    device.config()["Lockdown"]["Global"]["DeviceName"] = "Renamed";
    device.write();
    library.rescan();
    EXPECT_EQ(events.seen.size(), 1u);
    EXPECT_TRUE(old->attached());

    device.config()["Lockdown"]["Global"]["UniqueDeviceID"] = "UDID-NEW";
    device.write();
    library.rescan();
    ASSERT_EQ(events.seen.size(), 3u);
    EXPECT_EQ(events.seen[1].message, md::kMessageDetached);
    EXPECT_FALSE(old->attached());
    EXPECT_EQ(library.findByUdid("UDID-NEW"), events.seen[2].device);
}

TEST(SimHostileFolders, AnOperationReachesTheFolderItsDeviceAttachedTo) {
    // Between a device's check of its folder and the operation itself, the folder may be swapped:
    // what the operation acts on is named through the folder held open since the attach.
    TempDir tmp;
    writeText(tmp / "phone/media/x.txt", "A");
    std::string error;
    auto folder = md::sim::DeviceFolder::open(tmp / "phone", &error);
    ASSERT_TRUE(folder) << error;
    const md::sim::Area media(folder->anchor(), "media");
    fs::rename(tmp / "phone", tmp / "phone-away");
    writeText(tmp / "phone/media/x.txt", "B");
    EXPECT_FALSE(folder->isAt(tmp / "phone"));

    ASSERT_EQ(media.removePath("/x.txt"), 0);
    EXPECT_FALSE(fs::exists(tmp / "phone-away/media/x.txt"));
    EXPECT_EQ(readText(tmp / "phone/media/x.txt"), "B");
    ASSERT_EQ(media.makeDirectory("/made"), 0);
    EXPECT_TRUE(fs::is_directory(tmp / "phone-away/media/made"));
    EXPECT_FALSE(fs::exists(tmp / "phone/media/made"));
}

TEST(SimHostileFolders, AFolderSwappedFurtherUpThePathIsADetachSoonAfter) {
    // A change of the device's own name or of its parent folder is seen at the next operation;
    // a folder swapped further up by the look along the whole path, made at least every 64
    // operations.
    TempDir tmp;
    SimTestDevice a(tmp / "room/shelf/phone", "UDID-A");
    a.media("DCIM/a.jpg", "a");
    md::sim::SimulatedLibrary library;
    Connected first = connect(library, a);
    ASSERT_TRUE(first.afc);
    const md::DeviceHandle& deviceA = first.device;
    md::AfcConnection* afc = first.afc.get();

    fs::rename(tmp / "room", tmp / "room-away");
    SimTestDevice b(tmp / "room/shelf/phone", "UDID-B");
    b.media("DCIM/b.jpg", "b");

    int operations = 0;
    std::vector<std::string> names;
    while (afc->readDirectory("/DCIM", names) == 0 && operations < 1000) {
        ++operations;
        EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.jpg"})) << "only A's files";
    }
    EXPECT_LE(operations, 64);
    EXPECT_FALSE(deviceA->attached());
    EXPECT_EQ(afc->removePath("/DCIM/b.jpg"), md::AfcError::NotConnected);
    EXPECT_EQ(readText(tmp / "room/shelf/phone/media/DCIM/b.jpg"), "b");
    EXPECT_EQ(readText(tmp / "room-away/shelf/phone/media/DCIM/a.jpg"), "a");

    // The parent folder itself swapped: seen at the next operation.
    SimTestDevice c(tmp / "hall/shelf/phone", "UDID-C");
    c.media("DCIM/c.jpg", "c");
    Connected second = connect(library, c);
    ASSERT_TRUE(second.afc);
    ASSERT_EQ(second.afc->readDirectory("/DCIM", names), 0);
    fs::rename(tmp / "hall/shelf", tmp / "hall/shelf-away");
    SimTestDevice d(tmp / "hall/shelf/phone", "UDID-D");
    EXPECT_EQ(second.afc->removePath("/DCIM/c.jpg"), md::AfcError::NotConnected);
    EXPECT_FALSE(second.device->attached());
    EXPECT_EQ(readText(tmp / "hall/shelf-away/phone/media/DCIM/c.jpg"), "c");
}

TEST(SimHostileFolders, AWalkNoticesItsFolderSwappedBeforeTheNextListingAndSoonAfterOtherwise) {
    // Attribute reads may leave the look at the device's folder to a later operation: they still
    // describe only the attached device's files, and the swap is noticed at the next listing, or
    // by the look along the path made every 64th operation.
    for (const bool listNext : {true, false}) {
        SCOPED_TRACE(listNext ? "a listing next" : "attribute reads next");
        TempDir tmp;
        SimTestDevice a(tmp / "devices/phone", "UDID-A");
        SimTestDevice b(tmp / "staging/phone", "UDID-B");
        for (int i = 0; i < 10; ++i) {
            a.media("DCIM/f" + std::to_string(i), std::string(i + 1, 'a'));
            b.media("DCIM/f" + std::to_string(i), std::string(20 + i, 'b'));
        }
        md::sim::SimulatedLibrary library;
        Connected first = connect(library, a);
        ASSERT_TRUE(first.afc);
        std::vector<std::string> names;
        ASSERT_EQ(first.afc->readDirectory("/DCIM", names), 0);

        fs::rename(tmp / "devices/phone", tmp / "a-away");
        fs::rename(tmp / "staging/phone", tmp / "devices/phone");
        if (listNext) {
            EXPECT_EQ(first.afc->readDirectory("/DCIM", names), md::AfcError::NotConnected);
        } else {
            int reads = 0;
            std::vector<std::pair<std::string, std::string>> info;
            for (; reads < 1000; ++reads) {
                const int i = reads % 10;
                if (first.afc->fileInfo("/DCIM/f" + std::to_string(i), info) != 0) {
                    break;
                }
                EXPECT_EQ(info[0].second, std::to_string(i + 1)) << "only A's files";
            }
            EXPECT_LT(reads, 64);
            EXPECT_EQ(first.afc->fileInfo("/DCIM/f0", info), md::AfcError::NotConnected);
        }
        EXPECT_FALSE(first.device->attached());
    }
}

TEST(SimHostileFolders, AFolderOpenedWithoutAPlainLastNameIsLookedAtAlongItsPath) {
    TempDir tmp;
    writeText(tmp / "phone/device.plist", "x");
    std::string error;
    auto folder = md::sim::DeviceFolder::open((tmp / "phone").string() + "/", &error);
    ASSERT_TRUE(folder) << error;
    EXPECT_FALSE(folder->isInItsParent());
    EXPECT_EQ(folder->parentChanges(), Change::Names) << "nothing watched: always looked at";
    EXPECT_TRUE(folder->isAt(tmp / "phone"));

    auto named = md::sim::DeviceFolder::open(tmp / "phone", &error);
    ASSERT_TRUE(named) << error;
    EXPECT_TRUE(named->isInItsParent());
    fs::rename(tmp / "phone", tmp / "phone-away");
    fs::create_directory(tmp / "phone");
    EXPECT_FALSE(named->isInItsParent());
    EXPECT_FALSE(named->isAt(tmp / "phone"));
    fs::remove(tmp / "phone");
    fs::create_directory_symlink(tmp / "phone-away", tmp / "phone");
    EXPECT_TRUE(named->isInItsParent()) << "a link to the folder names it, as the path does";
    EXPECT_TRUE(named->isAt(tmp / "phone"));
}

TEST(SimHostileFolders, ChangesBesideTheFolderAreSeenAtOnce) {
    TempDir tmp;
    writeText(tmp / "shelf/phone/device.plist", "x");
    std::string error;
    auto folder = md::sim::DeviceFolder::open(tmp / "shelf/phone", &error);
    ASSERT_TRUE(folder) << error;
    EXPECT_EQ(folder->parentChanges(), Change::None);
    writeText(tmp / "shelf/phone/media/inside.txt", "changes inside are not the parent's");
    EXPECT_EQ(folder->parentChanges(), Change::None);

    fs::create_directory(tmp / "shelf/other");
    EXPECT_EQ(folder->parentChanges(), Change::Names);
    EXPECT_EQ(folder->parentChanges(), Change::None) << "seen once";
    fs::rename(tmp / "shelf/phone", tmp / "shelf/phone-away");
    fs::rename(tmp / "shelf/other", tmp / "shelf/phone");
    EXPECT_EQ(folder->parentChanges(), Change::Names);
    EXPECT_FALSE(folder->isInItsParent());

    // The parent itself moving away asks for a look along the whole path.
    fs::rename(tmp / "shelf", tmp / "shelf-away");
    EXPECT_EQ(folder->parentChanges(), Change::Folder);
    EXPECT_EQ(folder->parentChanges(), Change::None);
}

TEST(SimHostileFolders, FoldersSideBySideAreEachToldOfEveryChange) {
    TempDir tmp;
    writeText(tmp / "shelf/one/device.plist", "x");
    writeText(tmp / "shelf/two/device.plist", "x");
    std::string error;
    auto one = md::sim::DeviceFolder::open(tmp / "shelf/one", &error);
    auto two = md::sim::DeviceFolder::open(tmp / "shelf/two", &error);
    ASSERT_TRUE(one && two) << error;

    fs::create_directory(tmp / "shelf/three");
    EXPECT_EQ(one->parentChanges(), Change::Names);
    EXPECT_EQ(one->parentChanges(), Change::None);
    EXPECT_EQ(two->parentChanges(), Change::Names) << "one's look did not take two's news";
    EXPECT_EQ(two->parentChanges(), Change::None);

    // The watch stays for the folder still open.
    one.reset();
    fs::rename(tmp / "shelf/two", tmp / "shelf/two-away");
    EXPECT_EQ(two->parentChanges(), Change::Names);
    EXPECT_FALSE(two->isInItsParent());
}
