// Simulated devices with a media library, and a read of it that records what its sink got.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../device/sim_device_fixture.h"
#include "device/device_manager.h"
#include "sim_media_library.h"
#include "transfer/media_library.h"

namespace nimbara::test {

class MediaLibraryTest : public SimDeviceTest {
  public:
    // A music track (or what `kind` says) with its artist, album and folder rows and its file.
    static simdev::SimTrack track(std::int64_t pid, const std::string& title,
                                  std::int64_t kind = 1);

  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
    }

    static std::uint64_t serialOf(int index) {
        return amd::DeviceManager::GetInstance().DeviceSerial(index);
    }
    int attachBuilt(simdev::SimDeviceBuilder& device) {
        EXPECT_TRUE(device.write());
        return attach(device.dir().string());
    }
    // A device holding `library`; its index (-1 when it did not attach).
    int deviceWith(const std::string& udid, const simdev::SimMediaLibrary& library) {
        auto device = builder(udid);
        simdev::addMediaLibrary(device, library);
        return attachBuilt(device);
    }

    // What one read handed to its sink.
    struct Read {
        int finishedCalls = 0;
        std::vector<double> progress;
        transfer::MediaLibraryResult result;
    };
    static Read readLibrary(int index, transfer::MediaLibraryOptions options = {},
                            std::function<void(double)> onProgress = {}) {
        Read read;
        transfer::MediaLibrarySink sink;
        sink.progress = [&](double p) {
            read.progress.push_back(p);
            if (onProgress) {
                onProgress(p);
            }
        };
        sink.finished = [&](const transfer::MediaLibraryResult& r) {
            ++read.finishedCalls;
            read.result = r;
        };
        transfer::MediaLibraryReader({index, serialOf(index)}, options).read(sink);
        return read;
    }

    static std::vector<std::string> titlesOf(
        const std::vector<std::shared_ptr<PRTranMusicNode>>& nodes) {
        // Sorted: the library lists items in the order of their ids.
        std::vector<std::string> titles;
        for (const auto& n : nodes) {
            titles.push_back(n->musicTitle().toStdString());
        }
        std::sort(titles.begin(), titles.end());
        return titles;
    }
    static std::shared_ptr<PRTranMusicNode> find(
        const std::vector<std::shared_ptr<PRTranMusicNode>>& nodes, const std::string& title) {
        for (const auto& n : nodes) {
            if (n->musicTitle().toStdString() == title) {
                return n;
            }
        }
        return nullptr;
    }
};

inline simdev::SimTrack MediaLibraryTest::track(std::int64_t pid, const std::string& title,
                                                std::int64_t kind) {
    simdev::SimTrack t;
    t.pid = pid;
    t.title = title;
    t.mediaKind = kind;
    t.fileSize = 1000 + (pid & 0xff);
    t.totalTimeMs = 61000;
    t.artist = "Artist of " + title;
    t.artistPid = pid ^ 0x5555;
    t.album = "Album of " + title;
    t.albumPid = pid ^ 0x3333;
    t.folder = "iTunes_Control/Music/F07";
    t.baseLocationId = 7;
    t.location = "T" + std::to_string(pid & 0xffff) + (kind == 2 ? ".m4v" : ".m4a");
    return t;
}

}  // namespace nimbara::test
