// The music library the transfer page copies tracks into: a folder of ours (by default
// "Nimbara Library" in the user's Music folder) holding the media in "Media" and each playlist as
// an .m3u8 file ("#EXTM3U", "#PLAYLIST:<name>", then one "#EXTINF:-1,<title>" and one relative
// path per entry).
//
// Handlers are called by name with their parameters, as a script's are: "AddNewPlaylist",
// "AddNewFile", "GetAllPlaylist", "deletePlaylist", "HideWindow" and "QuitWindow" (names compare
// without case). A handler that fails tells the error alert ("AttachAScript Error") and gives no
// reply. Names become safe file names; nothing in the folder is ever replaced: a playlist or a
// media file whose name is taken gets a numbered one, and a playlist file is rewritten whole or
// not at all. Calls run on the caller's thread; the alert is the caller's to bring to the GUI
// thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <filesystem>
#include <functional>
#include <optional>

namespace nimbara::transfer {

// What a handler answered: the names it lists (playlists), or the name or path it made.
struct ScriptReply {
    QStringList items;
};

// One playlist file of the library: its name and its entries' paths, relative to the library.
struct LibraryPlaylist {
    QString name;
    std::filesystem::path file;
    QStringList entries;
    QStringList titles;  // each entry's title, in the same order
};

}  // namespace nimbara::transfer

// NOLINTNEXTLINE(readability-identifier-naming): the name the rest of the page knows it by
class iTunesScriptHandler {
  public:
    using ScriptReply = nimbara::transfer::ScriptReply;
    // Gets the alert's title ("AttachAScript Error"), its text and its button ("ok").
    using ErrorAlert =
        std::function<void(const QString& title, const QString& text, const QString& button)>;

    // "<Music location>/Nimbara Library".
    static std::filesystem::path defaultLibraryFolder();

    explicit iTunesScriptHandler(std::filesystem::path libraryFolder = defaultLibraryFolder(),
                                 ErrorAlert alert = {});

    const std::filesystem::path& libraryFolder() const { return folder_; }

    // Makes the playlist (an existing one of that name is kept); its name.
    std::optional<ScriptReply> addNewPlaylist(const QString& name);
    // Copies the local file `path` into the library and adds it to the playlist; the copy's path.
    std::optional<ScriptReply> addNewFile(const QString& path, const QString& playlist);
    // The playlists' names, sorted.
    QStringList getAllPlaylist();
    // Removes the playlist file (the media stay).
    std::optional<ScriptReply> deletePlaylist(const QString& name);
    // Nothing to hide or quit: the library has no window of its own.
    std::optional<ScriptReply> hideWindow();
    std::optional<ScriptReply> quit();

    // Calls the handler `handler` with `parameters` (ints and texts); no reply, after logging
    // "unrecognized parameter type for parameter <n> in callHandler:withParameters:", when a
    // parameter is anything else.
    std::optional<ScriptReply> callHandler(const QString& handler, const QVariantList& parameters);

    // The playlist of that name, read from its file.
    std::optional<nimbara::transfer::LibraryPlaylist> playlist(const QString& name) const;

  private:
    struct Failure {
        int number = 0;
        QString message;
    };
    std::optional<ScriptReply> callScript(const QString& handler, const QStringList& parameters);
    std::optional<ScriptReply> run(const QString& handler, const QStringList& parameters,
                                   Failure* failure);
    std::vector<nimbara::transfer::LibraryPlaylist> playlists() const;

    std::filesystem::path folder_;
    ErrorAlert alert_;
};
