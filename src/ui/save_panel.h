// The save panel of the exports, and showing a folder in the desktop's file viewer, each behind
// a handler that tests replace: the default asks a QFileDialog or opens the folder with
// QDesktopServices; a test installs a handler that answers at once (and may record what was
// asked).
#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QWidget;

namespace nimbara::ui {

// Installs `replacement` in a handler slot for the lifetime of the object and restores the
// previous handler after.
template <class Handler>
class ScopedHandler {
  public:
    ScopedHandler(Handler& slot, Handler replacement)
        : slot_(slot), previous_(std::exchange(slot, std::move(replacement))) {}
    ~ScopedHandler() { slot_ = std::move(previous_); }
    ScopedHandler(const ScopedHandler&) = delete;
    ScopedHandler& operator=(const ScopedHandler&) = delete;

  private:
    Handler& slot_;
    Handler previous_;
};

// Where the panels start (panelStartFolder): the folder last chosen in one of them, the export
// folder, the home folder. GUI thread only.
class PanelStart {
  public:
    using ExportFolder = std::function<QString()>;
    // The export folder's slot: the application installs its preference (empty: none).
    static ExportFolder& exportFolder();
    // The start for a panel; `callerFolder` is the caller's own last folder, if it keeps one,
    // before the panels' shared one.
    static QString folder(const QString& callerFolder = QString());
    // Remembers the folder holding `chosen` as the one last used.
    static void chose(const QString& chosen);
    // Forgets the folder last used (a new run of the application).
    static void forget();
};

class SavePanel {
  public:
    struct Request {
        QString title;
        QString directory;     // the caller's own last folder, if any: see PanelStart::folder
        QString proposedName;  // the name it proposes for the new folder
    };
    // The chosen path; nullopt when the user cancelled.
    using Handler = std::function<std::optional<QString>(QWidget* parent, const Request&)>;

    // Asks modally over `parent` where to save: the path of a folder, existing or to be made
    // (the panel never makes or replaces anything itself). nullopt when cancelled. The handler
    // gets the request with `directory` set to where the panel starts.
    static std::optional<QString> chooseFolder(QWidget* parent, const Request& request);

    // The handler slot: empty for the file dialog.
    static Handler& handler();

  private:
    static std::optional<QString> fileDialog(QWidget* parent, const Request& request);
};

// The open panel that chooses a file on the computer, behind a handler like the save panel's.
class OpenPanel {
  public:
    struct Request {
        QString title;
        QString directory;     // as for the save panel
        QString nameFilter{};  // the files offered ("Zip archives (*.zip)"); empty: all
    };
    // The chosen file; nullopt when the user cancelled.
    using Handler = std::function<std::optional<QString>(QWidget* parent, const Request&)>;

    // Asks modally over `parent` for one existing file.
    static std::optional<QString> chooseFile(QWidget* parent, const Request& request);

    // The handler slot: empty for the file dialog.
    static Handler& handler();

  private:
    static std::optional<QString> fileDialog(QWidget* parent, const Request& request);
};

class FileViewer {
  public:
    using Handler = std::function<void(const QString& folder)>;

    // Shows `folder` in the desktop's file viewer.
    static void reveal(const QString& folder);

    // The handler slot: empty for QDesktopServices.
    static Handler& handler();
};

}  // namespace nimbara::ui
