#include "transfer/itunes_script_handler.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <system_error>

#include "backup/writers/export_file.h"
#include "cleanup/clean_export.h"
#include "platform/log_categories.h"

namespace fs = std::filesystem;
using nimbara::transfer::LibraryPlaylist;
using nimbara::transfer::ScriptReply;

namespace {

constexpr const char* kMediaFolder = "Media";
constexpr const char* kPlaylistHeader = "#EXTM3U";
constexpr const char* kPlaylistName = "#PLAYLIST:";
constexpr const char* kEntryInfo = "#EXTINF:-1,";

// Error numbers a script reports.
constexpr int kNotUnderstood = -1708;
constexpr int kCantGet = -1728;
constexpr int kFileNotFound = -43;
constexpr int kWriteFailed = -61;
constexpr int kWrongParameters = -50;

QString oneLine(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line;
}

std::optional<LibraryPlaylist> readPlaylistFile(const fs::path& file) {
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    LibraryPlaylist list;
    list.file = file;
    list.name = QString::fromStdString(file.stem().string());
    QString title;
    while (!in.atEnd()) {
        const QString line = QString::fromUtf8(in.readLine()).trimmed();
        if (line.startsWith(QLatin1String(kPlaylistName))) {
            list.name = line.mid(static_cast<int>(qstrlen(kPlaylistName)));
        } else if (line.startsWith(QLatin1String(kEntryInfo))) {
            title = line.mid(static_cast<int>(qstrlen(kEntryInfo)));
        } else if (!line.isEmpty() && !line.startsWith(QLatin1Char('#'))) {
            list.entries.push_back(line);
            list.titles.push_back(title.isEmpty() ? QFileInfo(line).completeBaseName() : title);
            title.clear();
        }
    }
    return list;
}

// Writes the whole playlist file, or leaves the old one as it was.
bool writePlaylistFile(const fs::path& file, const QString& name,
                       const std::vector<std::pair<QString, QString>>& entries) {
    QSaveFile out(QString::fromStdString(file.string()));
    if (!out.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray text = QByteArray(kPlaylistHeader) + '\n';
    text += QByteArray(kPlaylistName) + oneLine(name).toUtf8() + '\n';
    for (const auto& [title, path] : entries) {
        text += QByteArray(kEntryInfo) + oneLine(title).toUtf8() + '\n';
        text += oneLine(path).toUtf8() + '\n';
    }
    return out.write(text) == text.size() && out.commit();
}

// A file name in `folder` not taken yet: "<stem>.m3u8", else "<stem> (2).m3u8", ...
std::optional<fs::path> freePlaylistFile(const fs::path& folder, const QString& name) {
    const std::string stem = nimbara::backup::safeFileStem(name, QStringLiteral("Playlist"));
    for (int n = 1; n < 10000; ++n) {
        const std::string suffix = n == 1 ? std::string() : " (" + std::to_string(n) + ")";
        const fs::path candidate = folder / nimbara::fittedFileName(stem, suffix, ".m3u8");
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(candidate, ec))) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace

fs::path iTunesScriptHandler::defaultLibraryFolder() {
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty()) {
        music = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
    }
    return fs::path(music.toStdString()) / "Nimbara Library";
}

iTunesScriptHandler::iTunesScriptHandler(fs::path libraryFolder, ErrorAlert alert)
    : folder_(std::move(libraryFolder)), alert_(std::move(alert)) {}

std::optional<ScriptReply> iTunesScriptHandler::addNewPlaylist(const QString& name) {
    return callScript(QStringLiteral("AddNewPlaylist"), {name});
}

std::optional<ScriptReply> iTunesScriptHandler::addNewFile(const QString& path,
                                                           const QString& playlist) {
    return callScript(QStringLiteral("AddNewFile"), {path, playlist});
}

QStringList iTunesScriptHandler::getAllPlaylist() {
    const auto reply = callScript(QStringLiteral("GetAllPlaylist"), {});
    return reply ? reply->items : QStringList();
}

std::optional<ScriptReply> iTunesScriptHandler::deletePlaylist(const QString& name) {
    return callScript(QStringLiteral("deletePlaylist"), {name});
}

std::optional<ScriptReply> iTunesScriptHandler::hideWindow() {
    return callScript(QStringLiteral("HideWindow"), {});
}

std::optional<ScriptReply> iTunesScriptHandler::quit() {
    return callScript(QStringLiteral("QuitWindow"), {});
}

std::optional<ScriptReply> iTunesScriptHandler::callHandler(const QString& handler,
                                                            const QVariantList& parameters) {
    QStringList texts;
    for (int i = 0; i < parameters.size(); ++i) {
        const QVariant& value = parameters[i];
        const int type = value.typeId();
        if (type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::UInt) {
            texts.push_back(QString::number(value.toInt()));
        } else if (type == QMetaType::QString) {
            texts.push_back(value.toString());
        } else {
            qCWarning(lcTransfer).noquote()
                << QStringLiteral(
                       "unrecognized parameter type for parameter %1 in "
                       "callHandler:withParameters:")
                       .arg(i + 1);
            return std::nullopt;
        }
    }
    return callScript(handler, texts);
}

std::optional<ScriptReply> iTunesScriptHandler::callScript(const QString& handler,
                                                           const QStringList& parameters) {
    Failure failure;
    auto reply = run(handler.toLower(), parameters, &failure);
    if (!reply && alert_) {
        alert_(QStringLiteral("AttachAScript Error"),
               QStringLiteral("Error %1 occured the %2(%3) call: %4")
                   .arg(failure.number)
                   .arg(handler, parameters.join(QStringLiteral(", ")), failure.message),
               QStringLiteral("ok"));
    }
    return reply;
}

std::vector<LibraryPlaylist> iTunesScriptHandler::playlists() const {
    std::vector<LibraryPlaylist> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kindError;
        if (it->path().extension() == ".m3u8" && it->is_regular_file(kindError)) {
            if (auto list = readPlaylistFile(it->path())) {
                found.push_back(std::move(*list));
            }
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
    return found;
}

std::optional<LibraryPlaylist> iTunesScriptHandler::playlist(const QString& name) const {
    for (auto& list : playlists()) {
        if (list.name == name) {
            return list;
        }
    }
    return std::nullopt;
}

std::optional<ScriptReply> iTunesScriptHandler::run(const QString& handler,
                                                    const QStringList& parameters,
                                                    Failure* failure) {
    const auto fail = [failure](int number, const QString& message) {
        *failure = {number, message};
        return std::nullopt;
    };
    const auto needs = [&parameters](int count) { return parameters.size() == count; };
    if (handler == QLatin1String("hidewindow") || handler == QLatin1String("quitwindow")) {
        return ScriptReply{};
    }
    if (handler == QLatin1String("getallplaylist")) {
        ScriptReply reply;
        for (const auto& list : playlists()) {
            reply.items.push_back(list.name);
        }
        return reply;
    }
    if (handler == QLatin1String("addnewplaylist") || handler == QLatin1String("deleteplaylist") ||
        handler == QLatin1String("addnewfile")) {
        if (!needs(handler == QLatin1String("addnewfile") ? 2 : 1) ||
            parameters.back().trimmed().isEmpty()) {
            return fail(kWrongParameters, QStringLiteral("A playlist name is needed."));
        }
    } else {
        return fail(
            kNotUnderstood,
            QStringLiteral("The library doesn't understand the \"%1\" message.").arg(handler));
    }
    // A name is one line: it can't add lines of its own to a playlist file.
    const QString name = oneLine(parameters.back());
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (!fs::is_directory(folder_, ec)) {
        return fail(kWriteFailed, QStringLiteral("The library folder could not be made."));
    }
    auto existing = playlist(name);
    if (handler == QLatin1String("addnewplaylist")) {
        if (existing) {
            return ScriptReply{{existing->name}};
        }
        const auto file = freePlaylistFile(folder_, name);
        if (!file || !writePlaylistFile(*file, name, {})) {
            return fail(kWriteFailed, QStringLiteral("The playlist could not be written."));
        }
        return ScriptReply{{name}};
    }
    if (!existing) {
        return fail(kCantGet, QStringLiteral("Can't get playlist \"%1\".").arg(name));
    }
    if (handler == QLatin1String("deleteplaylist")) {
        if (!fs::remove(existing->file, ec)) {
            return fail(kWriteFailed, QStringLiteral("The playlist could not be removed."));
        }
        return ScriptReply{{name}};
    }
    // addnewfile: the media first, then the playlist that names it.
    const QString source = parameters.front();
    if (!QFileInfo(source).isFile()) {
        return fail(kFileNotFound, QStringLiteral("File %1 wasn't found.").arg(source));
    }
    const auto media = nimbara::cleanup::prepareExportFolder(folder_ / kMediaFolder, ec);
    std::uint64_t copied = 0;
    const auto written =
        media ? nimbara::cleanup::exportLocalFileNamed(source.toStdString(), *media,
                                                       QFileInfo(source).fileName(), {}, &copied)
              : nimbara::backup::ExportWriteResult{};
    if (!written) {
        return fail(kWriteFailed, QStringLiteral("The file could not be copied into the library."));
    }
    std::vector<std::pair<QString, QString>> entries;
    for (int i = 0; i < existing->entries.size(); ++i) {
        entries.emplace_back(existing->titles[i], existing->entries[i]);
    }
    const QString relative = QStringLiteral("%1/%2").arg(
        QLatin1String(kMediaFolder), QString::fromStdString(written.path.filename().string()));
    entries.emplace_back(QFileInfo(source).completeBaseName(), relative);
    if (!writePlaylistFile(existing->file, existing->name, entries)) {
        fs::remove(written.path, ec);
        return fail(kWriteFailed, QStringLiteral("The playlist could not be written."));
    }
    return ScriptReply{{QString::fromStdString(written.path.string())}};
}
