// The media steps of a one-click copy run: files straight off the device's media area.
#include <QDebug>

#include <memory>
#include <string>
#include <vector>

#include "cleanup/clean_export.h"
#include "device/afc_service.h"
#include "transfer/media_library.h"
#include "transfer/one_copy_steps.h"

namespace nimbara::transfer::onecopy {

namespace fs = std::filesystem;

namespace {

bool containsNoCase(const std::string& name, const char* part) {
    return QString::fromStdString(name).contains(QLatin1String(part), Qt::CaseInsensitive);
}

// A step's connection to the device's media area, and the row it works for.
class MediaStep {
  public:
    MediaStep(RunContext& run, OneCopyRow row) : run_(run) { end_.row = row; }

    // Opens the connection; false when the device's files can't be reached (the row then ends
    // as failed) or the run was cut short (`cutShort` set).
    bool open(bool* cutShort) {
        *cutShort = false;
        const int code = afc_.Init(run_.device().deviceIndex);
        // Serials are never given twice: when our device is still there now, it is the one bound.
        if (run_.interrupted()) {
            *cutShort = true;
            return false;
        }
        if (code != 0) {
            end_.ok = false;
            end_.message = QStringLiteral("The device's files could not be reached.");
            return false;
        }
        return true;
    }

    // The entries of a device folder; none when it can't be listed.
    std::vector<std::string> list(const std::string& folder) {
        auto names = afc_.ReadDirectory(folder);
        return names ? std::move(*names) : std::vector<std::string>{};
    }
    bool isFolder(const std::string& path) {
        const auto info = afc_.GetFileKindAndSize(path);
        return info && info->kind == "S_IFDIR";
    }
    bool isFile(const std::string& path) {
        const auto info = afc_.GetFileKindAndSize(path);
        return info && info->kind == "S_IFREG";
    }

    // Copies one device file into `into` as a new file named `name`. False when the run was cut
    // short; a file that could not be copied is counted and skipped.
    bool copy(const std::string& devicePath, const fs::path& into, const QString& name) {
        if (run_.interrupted()) {
            return false;
        }
        std::uint64_t copied = 0;
        const backup::ExportWriteResult written = cleanup::exportDeviceFileNamed(
            afc_, devicePath, into, name, [this] { return run_.interrupted(); }, &copied);
        if (written) {
            ++end_.items;
            if (run_.sink().fileCopied) {
                run_.sink().fileCopied(end_.row, written.path);
            }
            return true;
        }
        if (run_.interrupted()) {
            return false;
        }
        // A track is known by its title; a file by its path on the device.
        const QString path = QString::fromStdString(devicePath);
        run_.failed(end_,
                    path.endsWith(QLatin1Char('/') + name)
                        ? path
                        : QStringLiteral("%1 (%2)").arg(name, path),
                    written.error);
        return true;
    }

    // Copies every regular file directly in the device folder `folder` into `into`.
    bool copyFilesOf(const std::string& folder, const fs::path& into) {
        for (const std::string& name : list(folder)) {
            const std::string path = folder + "/" + name;
            if (run_.interrupted()) {
                return false;
            }
            if (isFile(path) && !copy(path, into, QString::fromStdString(name))) {
                return false;
            }
        }
        return !run_.interrupted();
    }

    // The folder `name` inside the run's folder (empty name: the run's folder itself); nullopt,
    // and the row ends as failed, when it can't be made.
    std::optional<fs::path> target(const char* name) {
        std::string why;
        auto folder =
            name == nullptr ? std::optional<fs::path>(run_.runFolder()) : run_.folder(name, &why);
        if (!folder) {
            end_.ok = false;
            end_.message = QStringLiteral("The folder for the copies could not be made: %1")
                               .arg(QString::fromStdString(why));
        }
        return folder;
    }

    OneCopyRowEnd& end() { return end_; }
    amd::AfcService& afc() { return afc_; }

  private:
    RunContext& run_;
    amd::AfcService afc_;
    OneCopyRowEnd end_;
};

// Runs `body` over an open step; the row's end, or nullopt when the run was cut short.
template <class Body>
std::optional<OneCopyRowEnd> mediaStep(RunContext& run, OneCopyRow row, const char* folderName,
                                       Body&& body) {
    MediaStep step(run, row);
    bool cutShort = false;
    if (!step.open(&cutShort)) {
        if (cutShort) {
            return std::nullopt;
        }
        return step.end();
    }
    const auto into = step.target(folderName);
    if (!into) {
        return step.end();
    }
    if (!body(step, *into) || run.interrupted()) {
        return std::nullopt;
    }
    return step.end();
}

}  // namespace

std::optional<OneCopyRowEnd> copyCameraRoll(RunContext& run) {
    return mediaStep(run, OneCopyRow::CameraRoll, nullptr,
                     [](MediaStep& step, const fs::path& into) {
                         for (const std::string& name : step.list("/DCIM")) {
                             const std::string folder = "/DCIM/" + name;
                             if (containsNoCase(name, "APPLE") && !step.copyFilesOf(folder, into)) {
                                 return false;
                             }
                         }
                         return true;
                     });
}

std::optional<OneCopyRowEnd> copyPhotoStream(RunContext& run) {
    return mediaStep(run, OneCopyRow::PhotoStream, nullptr,
                     [](MediaStep& step, const fs::path& into) {
                         for (const std::string& stream : step.list("/PhotoStreamsData")) {
                             const std::string streamFolder = "/PhotoStreamsData/" + stream;
                             for (const std::string& name : step.list(streamFolder)) {
                                 if (containsNoCase(name, "APPLE") &&
                                     !step.copyFilesOf(streamFolder + "/" + name, into)) {
                                     return false;
                                 }
                             }
                         }
                         return true;
                     });
}

std::optional<OneCopyRowEnd> copyPhotoLibrary(RunContext& run) {
    return mediaStep(run, OneCopyRow::PhotoLibrary, nullptr,
                     [](MediaStep& step, const fs::path& into) {
                         for (const char* root : {"/PhotoData/Sync", "/Photos/Sync"}) {
                             for (const std::string& name : step.list(root)) {
                                 if (containsNoCase(name, "SYNCD") &&
                                     !step.copyFilesOf(std::string(root) + "/" + name, into)) {
                                     return false;
                                 }
                             }
                         }
                         return true;
                     });
}

std::optional<OneCopyRowEnd> copyVoiceMemos(RunContext& run) {
    return mediaStep(run, OneCopyRow::VoiceMemos, nullptr,
                     [&run](MediaStep& step, const fs::path&) {
                         std::optional<fs::path> memos;
                         for (const std::string& name : step.list("/Recordings")) {
                             const std::string path = "/Recordings/" + name;
                             if (!QString::fromStdString(name).endsWith(QLatin1String("m4a")) ||
                                 !step.isFile(path)) {
                                 continue;
                             }
                             if (!memos) {
                                 // Made for the first memo: no memos, no folder.
                                 memos = step.target(kOneCopyVoiceMemoFolder);
                                 if (!memos) {
                                     return !run.interrupted();
                                 }
                             }
                             if (!step.copy(path, *memos, QString::fromStdString(name))) {
                                 return false;
                             }
                         }
                         return true;
                     });
}

bool copyMusicAndVideo(RunContext& run, const std::function<bool(OneCopyRow)>& isOn,
                       const std::function<void(const OneCopyRowEnd&)>& ended) {
    const MediaLibraryResult library =
        MediaLibraryReader({run.device().deviceIndex, run.device().deviceSerial}, {}, [&run] {
            return run.stopAsked();
        }).read();
    if (library.status == MediaLibraryStatus::DeviceGone ||
        library.status == MediaLibraryStatus::Stopped || run.interrupted()) {
        return false;
    }
    const bool readable = library.status == MediaLibraryStatus::Done ||
                          library.status == MediaLibraryStatus::NoLibrary;
    const auto part = [&](OneCopyRow row,
                          const std::vector<std::shared_ptr<PRTranMusicNode>>& tracks) {
        if (!isOn(row)) {
            return true;
        }
        MediaStep step(run, row);
        if (!readable) {
            step.end().ok = false;
            step.end().message = mediaLibraryStatusText(library.status);
            ended(step.end());
            return true;
        }
        bool cutShort = false;
        if (!tracks.empty() && !step.open(&cutShort)) {
            if (cutShort) {
                return false;
            }
            ended(step.end());
            return true;
        }
        const auto into = step.target(nullptr);
        for (const auto& track : tracks) {
            const std::string location = track->musicLoctionpath().toStdString();
            if (location.empty()) {
                continue;  // the library names no file for it
            }
            if (!step.copy(location, *into, QString::fromStdString(track->localFileName()))) {
                return false;
            }
        }
        if (run.interrupted()) {
            return false;
        }
        ended(step.end());
        return true;
    };
    return part(OneCopyRow::Music, library.music) && part(OneCopyRow::Video, library.videos);
}

}  // namespace nimbara::transfer::onecopy
