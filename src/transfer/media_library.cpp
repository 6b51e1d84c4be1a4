#include "transfer/media_library.h"

#include "backup/database_copy.h"
#include "backup/sqlite_db.h"
#include "device/afc_service.h"
#include "device/device_status.h"
#include "device/device_target.h"
#include "platform/log_categories.h"
#include "platform/scratch_dir.h"
#include "platform/unique_folder.h"
#include "ui/core/text_utilities.h"

#include <QDebug>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace nimbara::transfer {

namespace {

constexpr const char* kPrimaryQuery =
    "select item_extra.title,item_extra.file_size,item_extra.media_kind,"
    "item_extra.total_time_ms,item_extra.item_pid,item_extra.location,item_artist.item_artist "
    "from item_extra left join item_artist "
    "on item_extra.item_pid=item_artist.representative_item_pid";
constexpr const char* kFallbackQuery =
    "select item_extra.title,item_extra.file_size,item_extra.media_kind,"
    "item_extra.total_time_ms,item_extra.item_pid,item_extra.location,album_artist.album_artist "
    "from item_extra left join album_artist "
    "on item_extra.item_pid=album_artist.representative_item_pid";
constexpr const char* kItemQuery = "select item_artist_pid,album_pid from item where item_pid=?1";
constexpr const char* kArtistQuery = "select item_artist from item_artist where item_artist_pid=?1";
constexpr const char* kAlbumQuery = "select album from album where album_pid=?1";
constexpr const char* kFolderQuery =
    "select base_location.path from base_location left join item "
    "on item.base_location_id=base_location.base_location_id where item.item_pid=?1";

constexpr const char* kCopyName = "MediaLibrary.sqlitedb";

// A column value kept past its statement's next step, with the type the library stored it in.
struct ValueFree {
    void operator()(sqlite3_value* v) const { sqlite3_value_free(v); }
};
using KeptValue = std::unique_ptr<sqlite3_value, ValueFree>;

bool isEmptyValue(sqlite3_value* v) {
    return !v || sqlite3_value_type(v) == SQLITE_NULL || sqlite3_value_bytes(v) == 0;
}

KeptValue keepColumn(const SqliteStatement& st, int column) {
    sqlite3_value* v = sqlite3_column_value(st.handle(), column);
    return isEmptyValue(v) ? KeptValue() : KeptValue(sqlite3_value_dup(v));
}

// The text of an id: integers (64-bit, negative ones too) as decimal, texts as they are.
QString idText(sqlite3_value* v) {
    if (isEmptyValue(v)) {
        return {};
    }
    switch (sqlite3_value_type(v)) {
        case SQLITE_INTEGER:
            return QString::number(static_cast<qlonglong>(sqlite3_value_int64(v)));
        case SQLITE_FLOAT:
            return QString::number(sqlite3_value_double(v), 'g', 17);
        default:
            return shell::GetStringFormChar(reinterpret_cast<const char*>(sqlite3_value_text(v)));
    }
}

QString columnText(const SqliteStatement& st, int column) {
    if (st.isNull(column)) {
        return {};
    }
    return shell::GetStringFormChar(st.columnString(column).c_str());
}

bool columnPresent(const SqliteStatement& st, int column) {
    return !st.isNull(column) && !st.columnTextView(column).empty();
}

// Runs a look-up with `id` bound (with the type it was stored in) and returns the last
// non-empty first column; empty when the statement is missing, the id is empty or no row
// answers.
QString lookUp(SqliteStatement& st, sqlite3_value* id) {
    if (!st.valid() || isEmptyValue(id)) {
        return {};
    }
    st.reset();
    QString found;
    if (sqlite3_bind_value(st.handle(), 1, id) == SQLITE_OK) {
        while (st.step()) {
            const QString text = columnText(st, 0);
            if (!text.isEmpty()) {
                found = text;
            }
        }
    }
    st.reset();
    return found;
}

// "<folder>/<location>" as a device path from the root.
QString devicePathOf(QString folder, const QString& location) {
    while (folder.endsWith(QLatin1Char('/'))) {
        folder.chop(1);
    }
    if (!folder.startsWith(QLatin1Char('/'))) {
        folder.prepend(QLatin1Char('/'));
    }
    return folder + QLatin1Char('/') + location;
}

// Keeps progress within [from, to] and never falling.
class ProgressScale {
  public:
    explicit ProgressScale(const std::function<void(double)>& out) : out_(out) {}
    void post(double value) {
        value = std::clamp(value, 0.0, 1.0);
        if (out_ && value >= last_) {
            last_ = value;
            out_(value);
        }
    }

  private:
    const std::function<void(double)>& out_;
    double last_ = 0.0;
};

}  // namespace

QString mediaLibraryStatusText(MediaLibraryStatus status) {
    switch (status) {
        case MediaLibraryStatus::Done:
            return QStringLiteral("Done.");
        case MediaLibraryStatus::NoLibrary:
            return QStringLiteral("The device holds no music or videos.");
        case MediaLibraryStatus::CopyFailed:
            return QStringLiteral("The device's media library could not be copied.");
        case MediaLibraryStatus::Unreadable:
            return QStringLiteral("The device's media library could not be read.");
        case MediaLibraryStatus::ServiceRefused:
            return QStringLiteral("The device refused its file service.");
        case MediaLibraryStatus::NoAnswer:
            return QString::fromStdString(amd::DeviceCodeText(amd::DeviceCode::NoAnswer));
        case MediaLibraryStatus::WaitingForUnlock:
            return QString::fromStdString(amd::DeviceCodeText(amd::DeviceCode::Locked));
        case MediaLibraryStatus::WaitingForTrust:
            return QString::fromStdString(amd::DeviceCodeText(amd::DeviceCode::TrustPending));
        case MediaLibraryStatus::DeviceGone:
            return QStringLiteral("The device was disconnected.");
        case MediaLibraryStatus::Stopped:
            return QStringLiteral("Stopped.");
    }
    return {};
}

MediaLibraryStatus mediaLibraryServiceFailure(int deviceCode) {
    switch (deviceCode) {
        case amd::DeviceCode::NoAnswer:
            return MediaLibraryStatus::NoAnswer;
        case amd::DeviceCode::Locked:
            return MediaLibraryStatus::WaitingForUnlock;
        case amd::DeviceCode::TrustPending:
            return MediaLibraryStatus::WaitingForTrust;
        default:
            return MediaLibraryStatus::ServiceRefused;
    }
}

QString mediaTypeForKind(std::int64_t mediaKind) {
    return mediaKind == 2 ? QStringLiteral("Video") : QStringLiteral("Music");
}

MediaLibraryReader::MediaLibraryReader(MediaDeviceTarget target, MediaLibraryOptions options,
                                       StopCheck stop)
    : target_(target), options_(options), stop_(std::move(stop)) {}

bool MediaLibraryReader::deviceAttached() const {
    return target_.stillAttached();
}

MediaLibraryResult MediaLibraryReader::read(const MediaLibrarySink& sink) {
    MediaLibraryResult result;
    ProgressScale progress(sink.progress);
    const auto finish = [&](MediaLibraryStatus status) {
        if (status != MediaLibraryStatus::Done) {
            result.music.clear();
            result.videos.clear();
            result.missingFiles.clear();
            result.withoutKind = 0;
            result.musicBytes = result.videoBytes = 0;
        }
        result.device = target_;
        result.status = status;
        if (status == MediaLibraryStatus::Done || status == MediaLibraryStatus::NoLibrary) {
            progress.post(1.0);
        }
        if (sink.finished) {
            sink.finished(result);
        }
        return result;
    };
    const auto goneOr = [&](MediaLibraryStatus status) {
        return finish(deviceAttached() ? status : MediaLibraryStatus::DeviceGone);
    };
    if (!deviceAttached()) {
        return finish(MediaLibraryStatus::DeviceGone);
    }
    amd::AfcService afc;
    if (const int code = afc.Init(target_.deviceIndex); code != 0) {
        return goneOr(mediaLibraryServiceFailure(code));
    }
    // Serials are never given twice: when our device is still there now, it is the one bound.
    if (!deviceAttached()) {
        return finish(MediaLibraryStatus::DeviceGone);
    }
    if (stop_ && stop_()) {
        return finish(MediaLibraryStatus::Stopped);
    }
    progress.post(0.1);
    const auto info = afc.GetFileKindAndSize(kMediaLibraryPath);
    if (!info || info->kind != "S_IFREG") {
        return goneOr(MediaLibraryStatus::NoLibrary);
    }
    // A folder of this read's own: nothing another read or device left can be taken for a
    // part of this copy.
    const fs::path parent = scratchFolder("DB");
    if (parent.empty()) {
        return finish(MediaLibraryStatus::CopyFailed);
    }
    UniqueFolder folder(parent, "MediaLibrary");
    if (!folder.valid()) {
        return finish(MediaLibraryStatus::CopyFailed);
    }
    const std::string local = (folder.path() / kCopyName).string();
    if (afc.CopyFileToLocal(kMediaLibraryPath, local) != 0) {
        return goneOr(MediaLibraryStatus::CopyFailed);
    }
    progress.post(0.3);
    // Either may be missing (a library whose log was folded in); the main file then reads as
    // it is.
    const std::string mainPath = kMediaLibraryPath;
    afc.CopyFileToLocal(mainPath + "-shm", local + "-shm");
    progress.post(0.4);
    afc.CopyFileToLocal(mainPath + "-wal", local + "-wal");
    progress.post(0.5);
    if (!deviceAttached()) {
        return finish(MediaLibraryStatus::DeviceGone);
    }
    backup::commitDB(local);

    const auto stopOrGone = [this] { return (stop_ && stop_()) || !deviceAttached(); };
    MediaLibrarySink inner;
    inner.progress = [&](double p) { progress.post(0.5 + 0.5 * p); };
    result = readCopy(local, options_, &afc, inner, stopOrGone);
    if (result.status == MediaLibraryStatus::Stopped || !deviceAttached()) {
        return finish(deviceAttached() ? MediaLibraryStatus::Stopped
                                       : MediaLibraryStatus::DeviceGone);
    }
    return finish(result.status);
}

MediaLibraryResult MediaLibraryReader::readCopy(const std::string& databasePath,
                                                const MediaLibraryOptions& options,
                                                amd::AfcService* afc, const MediaLibrarySink& sink,
                                                const std::function<bool()>& stopOrGone) {
    MediaLibraryResult result;
    ProgressScale progress(sink.progress);
    const auto finish = [&](MediaLibraryStatus status) {
        result.status = status;
        if (status == MediaLibraryStatus::Stopped) {
            MediaLibraryResult empty;
            empty.status = status;
            empty.query = result.query;
            result = std::move(empty);
        }
        if (status == MediaLibraryStatus::Done) {
            progress.post(1.0);
        }
        if (sink.finished) {
            sink.finished(result);
        }
        return result;
    };
    std::error_code ec;
    if (!fs::is_regular_file(databasePath, ec)) {
        return finish(MediaLibraryStatus::NoLibrary);
    }
    auto db = SqliteDb::open(databasePath, SqliteDb::Mode::ReadWrite);
    if (!db) {
        return finish(MediaLibraryStatus::Unreadable);
    }
    if (stopOrGone) {
        db->setStopCheck(stopOrGone);
    }
    SqliteStatement rows = db->prepare(kPrimaryQuery);
    result.query = MediaLibraryQuery::ItemArtist;
    if (!rows.valid()) {
        // Libraries without `item_artist` name the artists in `album_artist`.
        qCInfo(lcTransfer).noquote()
            << (db->exec("DROP TABLE IF EXISTS genre") ? "deleted OK" : "deleted failed");
        rows = db->prepare(kFallbackQuery);
        result.query = MediaLibraryQuery::AlbumArtist;
        if (!rows.valid()) {
            result.query = MediaLibraryQuery::None;
            return finish(MediaLibraryStatus::Unreadable);
        }
    }
    std::int64_t total = 0;
    if (SqliteStatement count = db->prepare("select count(*) from item_extra");
        count.valid() && count.step()) {
        total = count.columnInt64(0);
    }
    SqliteStatement itemQuery = db->prepare(kItemQuery);
    SqliteStatement artistQuery = db->prepare(kArtistQuery);
    SqliteStatement albumQuery = db->prepare(kAlbumQuery);
    SqliteStatement folderQuery = db->prepare(kFolderQuery);

    std::set<QString> seen;
    std::int64_t done = 0;
    while (rows.step()) {
        if (stopOrGone && stopOrGone()) {
            return finish(MediaLibraryStatus::Stopped);
        }
        ++done;
        if (total > 0) {
            progress.post(static_cast<double>(done) / static_cast<double>(total));
        }
        auto node = std::make_shared<PRTranMusicNode>();
        if (const QString title = columnText(rows, 0); !title.isEmpty()) {
            node->setMusicTitle(title);
        }
        if (columnPresent(rows, 1)) {
            const std::int64_t size = std::max<std::int64_t>(rows.columnInt64(1), 0);
            node->setFileSizeNumber(static_cast<std::uint64_t>(size));
            node->setMusicFileSize(shell::size_to_unit(static_cast<std::uint64_t>(size)));
        }
        if (columnPresent(rows, 2)) {
            node->setMusicType(mediaTypeForKind(rows.columnInt64(2)));
        }
        if (columnPresent(rows, 3)) {
            const std::int64_t ms = std::clamp<std::int64_t>(rows.columnInt64(3), 0, INT_MAX);
            node->setMusicTime(shell::getCallHistoryDate(static_cast<int>(ms)));
        }
        const KeptValue pid = keepColumn(rows, 4);
        if (pid) {
            const QString pidText = idText(pid.get());
            // A pid the join gives twice (two artists naming one item) is one track.
            if (!seen.insert(pidText).second) {
                continue;
            }
            node->setMusicPid(pidText);
        }
        const QString location = columnText(rows, 5);
        const QString joinedArtist = columnText(rows, 6);

        KeptValue artistPid;
        KeptValue albumPid;
        if (itemQuery.valid() && pid) {
            itemQuery.reset();
            if (sqlite3_bind_value(itemQuery.handle(), 1, pid.get()) == SQLITE_OK) {
                while (itemQuery.step()) {
                    if (KeptValue a = keepColumn(itemQuery, 0)) {
                        artistPid = std::move(a);
                        node->setArtistPid(idText(artistPid.get()));
                    }
                    if (KeptValue a = keepColumn(itemQuery, 1)) {
                        albumPid = std::move(a);
                        node->setAlbumPid(idText(albumPid.get()));
                    }
                }
            }
            itemQuery.reset();
        }
        // The artist's own row names the artist; where it gives none, the name the catalogue
        // query found stays.
        QString artist = lookUp(artistQuery, artistPid.get());
        if (artist.isEmpty()) {
            artist = joinedArtist;
        }
        if (!artist.isEmpty()) {
            node->setMusicArtist(artist);
        }
        if (const QString album = lookUp(albumQuery, albumPid.get()); !album.isEmpty()) {
            node->setMusicAlbm(album);
        }
        // Without its folder the file can't be found: the track keeps no location.
        const QString folderPath = lookUp(folderQuery, pid.get());
        if (!location.isEmpty() && !folderPath.isEmpty()) {
            node->setMusicLoctionpath(devicePathOf(folderPath, location));
        }

        const QString type = node->musicType();
        const bool isMusic = type == QLatin1String("Music");
        const bool isVideo = type == QLatin1String("Video");
        if (!isMusic && !isVideo) {
            ++result.withoutKind;
            continue;
        }
        if (options.requireFilesOnDevice) {
            const QString path = node->musicLoctionpath();
            const auto file =
                path.isEmpty() || !afc ? std::nullopt : afc->GetFileKindAndSize(path.toStdString());
            if (!file || file->kind != "S_IFREG") {
                // A file the device no longer answers for is not missing: it left with the device.
                if (stopOrGone && stopOrGone()) {
                    return finish(MediaLibraryStatus::Stopped);
                }
                result.missingFiles.push_back(node);
                continue;
            }
        }
        if (isMusic) {
            result.music.push_back(node);
            result.musicBytes += node->fileSizeNumber();
        } else {
            result.videos.push_back(node);
            result.videoBytes += node->fileSizeNumber();
        }
    }
    if (!rows.done()) {
        if (rows.abortReason() == SqliteAbort::Stopped) {
            return finish(MediaLibraryStatus::Stopped);
        }
        qCWarning(lcTransfer).noquote()
            << "Media library: reading stopped early:" << QString::fromStdString(db->lastError());
    }
    return finish(MediaLibraryStatus::Done);
}

}  // namespace nimbara::transfer
