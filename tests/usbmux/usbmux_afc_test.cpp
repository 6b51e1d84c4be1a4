// AFC on the media root and the crash area of the protocol-level device, and a device that goes
// away in the middle of a copy, through libimobiledevice.
#include <libimobiledevice/service.h>

#include <map>
#include <thread>

#include "usbmux_fixture.h"

namespace nimbara::test {
namespace {

using UsbmuxAfc = UsbmuxTest;

std::string fileAttribute(afc_client_t afc, const std::string& path, const std::string& key) {
    char** info = nullptr;
    if (afc_get_file_info(afc, path.c_str(), &info) != AFC_E_SUCCESS) {
        return {};
    }
    std::string value;
    for (char** item = info; item && item[0] && item[1]; item += 2) {
        if (key == item[0]) {
            value = item[1];
        }
    }
    afc_dictionary_free(info);
    return value;
}

// Bytes that differ from position to position, so that a misplaced chunk shows.
std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    }
    return bytes;
}

TEST_F(UsbmuxAfc, ListsAFolderAndCopiesFilesBothWays) {
    const std::string photo = pattern(300000);  // several reads of 64 KiB
    phone.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", photo);
    phone.addMediaFile("/DCIM/100APPLE/IMG_0002.MOV", "movie");
    phone.addMediaDir("/Downloads");
    startServer();
    connect();
    AfcPtr afc = startAfc();
    ASSERT_TRUE(afc);

    afc_error_t rc = AFC_E_UNKNOWN_ERROR;
    EXPECT_EQ(listFolder(afc.get(), "/DCIM/100APPLE", &rc),
              (std::vector<std::string>{"IMG_0001.JPG", "IMG_0002.MOV"}));
    EXPECT_EQ(rc, AFC_E_SUCCESS);
    EXPECT_EQ(fileAttribute(afc.get(), "/DCIM/100APPLE/IMG_0001.JPG", "st_size"), "300000");
    EXPECT_EQ(fileAttribute(afc.get(), "/DCIM/100APPLE/IMG_0001.JPG", "st_ifmt"), "S_IFREG");
    EXPECT_EQ(fileAttribute(afc.get(), "/DCIM", "st_ifmt"), "S_IFDIR");

    EXPECT_EQ(readDeviceFile(afc.get(), "/DCIM/100APPLE/IMG_0001.JPG", &rc), photo);
    EXPECT_EQ(rc, AFC_E_SUCCESS);
    EXPECT_EQ(readDeviceFile(afc.get(), "/DCIM/100APPLE/IMG_0002.MOV", &rc, 3), "movie");

    const std::string upload = pattern(200001);
    ASSERT_EQ(writeDeviceFile(afc.get(), "/Downloads/from-host.bin", upload), AFC_E_SUCCESS);
    EXPECT_EQ(readText(phone.mediaPath("/Downloads/from-host.bin")), upload);
    EXPECT_EQ(readDeviceFile(afc.get(), "/Downloads/from-host.bin", &rc), upload);

    char** info = nullptr;
    ASSERT_EQ(afc_get_device_info(afc.get(), &info), AFC_E_SUCCESS);
    std::map<std::string, std::string> deviceInfo;
    for (char** item = info; item && item[0] && item[1]; item += 2) {
        deviceInfo[item[0]] = item[1];
    }
    afc_dictionary_free(info);
    EXPECT_EQ(deviceInfo["Model"], "iPhone12,1");
    EXPECT_EQ(deviceInfo["FSFreeBytes"], "50000000000");
}

TEST_F(UsbmuxAfc, FilesOpenForReadingAndWritingAndLockAsFlockDoesAcrossConnections) {
    phone.addMediaFile("/Notes.txt", "kept");
    startServer();
    connect();
    const AfcPtr first = startAfc();
    const AfcPtr second = startAfc();
    ASSERT_TRUE(first && second);
    std::uint64_t a = 0;
    std::uint64_t b = 0;
    ASSERT_EQ(afc_file_open(first.get(), "/Notes.txt", AFC_FOPEN_RW, &a), AFC_E_SUCCESS);
    char kept[4] = {};
    std::uint32_t got = 0;
    EXPECT_EQ(afc_file_read(first.get(), a, kept, sizeof kept, &got), AFC_E_SUCCESS);
    EXPECT_EQ(std::string(kept, got), "kept") << "read-write keeps what the file holds";
    ASSERT_EQ(afc_file_open(second.get(), "//Notes.txt", AFC_FOPEN_RW, &b), AFC_E_SUCCESS);
    const struct {
        afc_client_t afc;
        std::uint64_t handle;
        afc_lock_op_t op;
        afc_error_t expected;
    } rows[] = {
        {first.get(), a, AFC_LOCK_SH, AFC_E_SUCCESS},
        {second.get(), b, AFC_LOCK_SH, AFC_E_SUCCESS},
        {second.get(), b, AFC_LOCK_EX, AFC_E_OP_WOULD_BLOCK},  // the other's shared lock
        {first.get(), a, AFC_LOCK_UN, AFC_E_SUCCESS},
        {second.get(), b, AFC_LOCK_EX, AFC_E_SUCCESS},
        {first.get(), a, AFC_LOCK_SH, AFC_E_OP_WOULD_BLOCK},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(afc_file_lock(rows[i].afc, rows[i].handle, rows[i].op), rows[i].expected) << i;
    }
    EXPECT_EQ(afc_file_close(second.get(), b), AFC_E_SUCCESS);
    EXPECT_EQ(afc_file_lock(first.get(), a, AFC_LOCK_EX), AFC_E_SUCCESS) << "a close lets go";
    EXPECT_EQ(afc_file_close(first.get(), a), AFC_E_SUCCESS);

    ASSERT_EQ(afc_file_open(first.get(), "/New.txt", AFC_FOPEN_RW, &a), AFC_E_SUCCESS);
    EXPECT_EQ(afc_file_close(first.get(), a), AFC_E_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(phone.mediaPath("/New.txt")));
    ASSERT_EQ(afc_file_open(first.get(), "/Notes.txt", AFC_FOPEN_WR, &a), AFC_E_SUCCESS);
    EXPECT_EQ(afc_file_close(first.get(), a), AFC_E_SUCCESS);
    EXPECT_EQ(readText(phone.mediaPath("/Notes.txt")), "") << "w+ truncates";
}

TEST_F(UsbmuxAfc, SeveralClientsCopyAtOnceEachThroughItsOwnSessionAndService) {
    constexpr int kClients = 6;
    for (int i = 0; i < kClients; ++i) {
        phone.addMediaFile("/DCIM/100APPLE/IMG_" + std::to_string(i) + ".JPG",
                           pattern(100000 + static_cast<std::size_t>(i)));
    }
    startServer();
    connect();  // pairs once, for all of them
    lockdown.reset();
    std::vector<std::string> copies(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([&, i] {
            DevicePtr own = openDevice(kUdid);
            LockdownPtr session;
            if (!own || handshake(own.get(), session) != LOCKDOWN_E_SUCCESS) {
                return;
            }
            afc_client_t raw = nullptr;
            if (afc_client_start_service(own.get(), &raw, "nimbara-tests") != AFC_E_SUCCESS) {
                return;
            }
            AfcPtr afc(raw);
            afc_error_t rc = AFC_E_UNKNOWN_ERROR;
            copies[static_cast<std::size_t>(i)] = readDeviceFile(
                afc.get(), "/DCIM/100APPLE/IMG_" + std::to_string(i) + ".JPG", &rc, 7000);
        });
    }
    for (auto& client : clients) {
        client.join();
    }
    for (int i = 0; i < kClients; ++i) {
        EXPECT_EQ(copies[static_cast<std::size_t>(i)],
                  pattern(100000 + static_cast<std::size_t>(i)))
            << "client " << i;
    }
}

TEST_F(UsbmuxAfc, MakesRenamesAndRemovesAndKeepsPathsInsideTheMediaRoot) {
    phone.addMediaFile("/Downloads/a.txt", "a");
    phone.addMediaFile("/Books/old/b.txt", "b");
    startServer();
    connect();
    AfcPtr afc = startAfc();
    ASSERT_TRUE(afc);

    EXPECT_EQ(afc_make_directory(afc.get(), "/Recordings/2024/May"), AFC_E_SUCCESS);
    EXPECT_TRUE(std::filesystem::is_directory(phone.mediaPath("/Recordings/2024/May")));
    EXPECT_EQ(afc_rename_path(afc.get(), "/Downloads/a.txt", "/Recordings/2024/May/a.txt"),
              AFC_E_SUCCESS);
    EXPECT_EQ(readText(phone.mediaPath("/Recordings/2024/May/a.txt")), "a");
    EXPECT_FALSE(std::filesystem::exists(phone.mediaPath("/Downloads/a.txt")));

    EXPECT_EQ(afc_remove_path(afc.get(), "/Books/old"), AFC_E_DIR_NOT_EMPTY);
    EXPECT_EQ(afc_remove_path(afc.get(), "/Books/old/b.txt"), AFC_E_SUCCESS);
    EXPECT_EQ(afc_remove_path(afc.get(), "/Books/old"), AFC_E_SUCCESS);
    EXPECT_EQ(afc_remove_path_and_contents(afc.get(), "/Recordings"), AFC_E_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(phone.mediaPath("/Recordings")));
    EXPECT_EQ(afc_remove_path(afc.get(), "/Downloads/none"), AFC_E_OBJECT_NOT_FOUND);

    // ".." never climbs out of the media root: the device's own files stay out of reach.
    afc_error_t rc = AFC_E_SUCCESS;
    EXPECT_EQ(readDeviceFile(afc.get(), "/../device.plist", &rc), "");
    EXPECT_EQ(rc, AFC_E_OBJECT_NOT_FOUND);
    EXPECT_EQ(listFolder(afc.get(), "/../..", &rc), listFolder(afc.get(), "/"));
}

// What the crash-report mover says before it waits for the close.
std::string moverSays(idevice_t device, lockdownd_client_t lockdown) {
    lockdownd_service_descriptor_t descriptor = nullptr;
    if (lockdownd_start_service(lockdown, "com.apple.crashreportmover", &descriptor) !=
        LOCKDOWN_E_SUCCESS) {
        return "(not started)";
    }
    service_client_t mover = nullptr;
    service_client_new(device, descriptor, &mover);
    lockdownd_service_descriptor_free(descriptor);
    char said[4] = {};
    uint32_t got = 0;
    // The mover answers at once: a short limit, for the one that says nothing.
    service_receive_with_timeout(mover, said, sizeof said, &got, 500);
    service_client_free(mover);
    return std::string(said, got);
}

TEST_F(UsbmuxAfc, CrashLogsAreMovedAndCopiedThroughTheCrashArea) {
    phone.addCrashLog("/Panics/panic-full-2024-05-01.ips", 2000);
    startServer();
    addNewCrashLog("/Maps-2024-05-02-101010.ips", std::string(500, 'm'));
    connect();
    AfcPtr crashes = startAfc("com.apple.crashreportcopymobile");
    ASSERT_TRUE(crashes);
    // A new report shows only once the mover moved it.
    EXPECT_EQ(listFolder(crashes.get(), "/"), (std::vector<std::string>{"Panics"}));
    EXPECT_EQ(moverSays(device.get(), lockdown.get()), "ping");
    EXPECT_EQ(listFolder(crashes.get(), "/"),
              (std::vector<std::string>{"Maps-2024-05-02-101010.ips", "Panics"}));
    afc_error_t rc = AFC_E_UNKNOWN_ERROR;
    EXPECT_EQ(readDeviceFile(crashes.get(), "/Panics/panic-full-2024-05-01.ips", &rc).size(),
              2000u);
    EXPECT_EQ(readDeviceFile(crashes.get(), "/Maps-2024-05-02-101010.ips", &rc),
              std::string(500, 'm'));
    EXPECT_EQ(afc_remove_path(crashes.get(), "/Maps-2024-05-02-101010.ips"), AFC_E_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(phone.crashPath("/Maps-2024-05-02-101010.ips")));
}

TEST_F(UsbmuxAfc, AMoverThatAnswersAnythingElseOrNothingHasMovedNothing) {
    phone.setFault(usbmuxsim::kFaultMoverAnswer, "pong");
    startServer();
    addNewCrashLog("/Maps-2024-05-02-101010.ips", "m");
    connect();
    EXPECT_EQ(moverSays(device.get(), lockdown.get()), "pong");
    setFault(usbmuxsim::kFaultMoverAnswer, "");
    EXPECT_EQ(moverSays(device.get(), lockdown.get()), "");
    AfcPtr crashes = startAfc("com.apple.crashreportcopymobile");
    ASSERT_TRUE(crashes);
    EXPECT_TRUE(listFolder(crashes.get(), "/").empty());
}

TEST_F(UsbmuxAfc, ARefusedMoverIsAnsweredAsProhibited) {
    phone.setFault(md::sim::kFaultRefusedServices,
                   PlistValue(PlistValue::Array{"com.apple.crashreportmover"}));
    startServer();
    connect();
    lockdownd_service_descriptor_t descriptor = nullptr;
    EXPECT_EQ(lockdownd_start_service(lockdown.get(), "com.apple.crashreportmover", &descriptor),
              LOCKDOWN_E_SERVICE_PROHIBITED);
}

TEST_F(UsbmuxAfc, ADeviceDetachedMidCopyFailsTheNextReadInsteadOfHangingIt) {
    phone.addMediaFile("/DCIM/100APPLE/IMG_0003.MOV", pattern(1 << 20));
    startServer();
    connect();
    AfcPtr afc = startAfc();
    ASSERT_TRUE(afc);
    uint64_t handle = 0;
    ASSERT_EQ(afc_file_open(afc.get(), "/DCIM/100APPLE/IMG_0003.MOV", AFC_FOPEN_RDONLY, &handle),
              AFC_E_SUCCESS);
    std::vector<char> buffer(65536);
    uint32_t got = 0;
    ASSERT_EQ(afc_file_read(afc.get(), handle, buffer.data(), 65536, &got), AFC_E_SUCCESS);
    EXPECT_EQ(got, 65536u);

    // Unplugged: the folder leaves the devices folder, and the server looks at once.
    std::filesystem::rename(phone.dir(), server.devices() / ".unplugged");
    ASSERT_EQ(server.control("SimRescan"), 0);
    got = 0;
    EXPECT_NE(afc_file_read(afc.get(), handle, buffer.data(), 65536, &got), AFC_E_SUCCESS);
    EXPECT_EQ(got, 0u);
    char** list = nullptr;
    int count = -1;
    ASSERT_EQ(idevice_get_device_list(&list, &count), IDEVICE_E_SUCCESS);
    idevice_device_list_free(list);
    EXPECT_EQ(count, 0);
    // A new lockdown connection to the gone device is refused.
    LockdownPtr again;
    EXPECT_NE(handshake(device.get(), again), LOCKDOWN_E_SUCCESS);
}

TEST_F(UsbmuxAfc, ACallStuckOnAHangingDeviceEndsWhenTheDeviceGoesAway) {
    phone.addMediaDir("/DCIM");
    phone.setFault(usbmuxsim::kFaultStalledServices,
                   PlistValue(PlistValue::Array{"com.apple.afc"}));
    startServer();
    connect();
    AfcPtr afc = startAfc();
    ASSERT_TRUE(afc);
    afc_error_t rc = AFC_E_SUCCESS;
    // The library waits for the answer without a limit of its own; unplugging ends the wait
    // (whether it comes before or after the request went out).
    std::thread call([&] { listFolder(afc.get(), "/DCIM", &rc); });
    std::filesystem::rename(phone.dir(), server.devices() / ".unplugged");
    EXPECT_EQ(server.control("SimRescan"), 0);
    call.join();
    EXPECT_NE(rc, AFC_E_SUCCESS);
}

TEST_F(UsbmuxAfc, ADeviceThatGoesAwayByItselfDropsItsConnections) {
    phone.addMediaFile("/DCIM/100APPLE/IMG_0004.JPG", pattern(4096));
    startServer();
    connect();
    AfcPtr afc = startAfc();
    ASSERT_TRUE(afc);
    // The next operations of the device take it away: the folder is moved off the devices root.
    std::filesystem::rename(phone.dir(), server.devices() / ".gone");
    afc_error_t rc = AFC_E_SUCCESS;
    EXPECT_TRUE(listFolder(afc.get(), "/DCIM", &rc).empty());
    EXPECT_NE(rc, AFC_E_SUCCESS);
    EXPECT_EQ(readDeviceFile(afc.get(), "/DCIM/100APPLE/IMG_0004.JPG", &rc), "");
    EXPECT_NE(rc, AFC_E_SUCCESS);
}

}  // namespace
}  // namespace nimbara::test
