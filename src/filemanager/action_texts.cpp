#include "filemanager/action_texts.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <array>

#include "cleanup/protected_files.h"
#include "filemanager/device_fs_actions.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

namespace {

// What one sentence of a removal question is about.
enum class Group {
    Photo,
    Video,
    Track,
    Book,
    File,
    Folder,
    CannotRemove,  // Photo Stream and Photo Library photos
    Protected,     // files the device itself needs
};

struct Noun {
    const char* one;
    const char* many;
};

Noun nounOf(Group group) {
    switch (group) {
        case Group::Photo:
            return {"photo", "photos"};
        case Group::Video:
            return {"video", "videos"};
        case Group::Track:
            return {"track", "tracks"};
        case Group::Book:
            return {"book", "books"};
        case Group::Folder:
            return {"folder", "folders"};
        case Group::CannotRemove:
            return {"Photo Stream or Photo Library photo", "Photo Stream or Photo Library photos"};
        case Group::File:
        case Group::Protected:
            break;
    }
    return {"file", "files"};
}

struct Gathered {
    Group group;
    std::vector<QString> names;
    std::uint64_t bytes = 0;
};

// Groups in the order the items first show them.
class Gatherer {
  public:
    void add(Group group, const QString& name, std::uint64_t bytes) {
        auto found = std::find_if(groups_.begin(), groups_.end(),
                                  [group](const Gathered& g) { return g.group == group; });
        if (found == groups_.end()) {
            groups_.push_back({group, {}, 0});
            found = groups_.end() - 1;
        }
        found->names.push_back(name);
        found->bytes = ui::addSaturating(found->bytes, bytes);
    }

    QString text() const {
        QStringList sentences;
        for (const Gathered& g : groups_) {
            sentences << sentence(g);
        }
        return sentences.join(QLatin1Char('\n'));
    }

  private:
    static QString sentence(const Gathered& g) {
        const std::size_t count = g.names.size();
        const Noun noun = nounOf(g.group);
        const QString counted = QStringLiteral("%1 %2").arg(count).arg(
            QLatin1String(count == 1 ? noun.one : noun.many));
        const QString names = namesText(g.names);
        switch (g.group) {
            case Group::CannotRemove:
                return QStringLiteral("%1 can't be deleted here and %2 on the device: %3.")
                    .arg(counted, QLatin1String(count == 1 ? "stays" : "stay"), names);
            case Group::Protected:
                return QStringLiteral("%1 the device itself needs %2 on the device: %3.")
                    .arg(counted, QLatin1String(count == 1 ? "stays" : "stay"), names);
            case Group::Folder:
                return QStringLiteral("%1 will be deleted from the device, %2: %3.")
                    .arg(counted,
                         QLatin1String(count == 1 ? "if it is empty" : "each only if it is empty"),
                         names);
            default:
                break;
        }
        const QString size =
            g.bytes > 0 ? QStringLiteral(" (%1)").arg(shell::size_to_unit(g.bytes).trimmed())
                        : QString();
        return QStringLiteral("%1%2 will be deleted from the device: %3.")
            .arg(counted, size, names);
    }

    std::vector<Gathered> groups_;
};

bool isMovieName(const QString& name) {
    static const std::array<QLatin1String, 3> kMovies{QLatin1String("mov"), QLatin1String("mp4"),
                                                      QLatin1String("m4v")};
    const QString suffix = QFileInfo(name).suffix();
    return std::any_of(kMovies.begin(), kMovies.end(), [&suffix](QLatin1String movie) {
        return suffix.compare(movie, Qt::CaseInsensitive) == 0;
    });
}

QString lastComponent(const std::string& devicePath) {
    const std::size_t slash = devicePath.find_last_of('/');
    return QString::fromStdString(slash == std::string::npos ? devicePath
                                                             : devicePath.substr(slash + 1));
}

}  // namespace

QString namesText(const std::vector<QString>& names, std::size_t listed) {
    if (names.empty()) {
        return QString();
    }
    const QString quoted = QStringLiteral("\u201c%1\u201d");
    QStringList shown;
    for (std::size_t i = 0; i < names.size() && i < std::max<std::size_t>(listed, 1); ++i) {
        shown << quoted.arg(names[i]);
    }
    const std::size_t more = names.size() - static_cast<std::size_t>(shown.size());
    if (more > 0) {
        // One pass: a device name holding "%2" stays as it is.
        return QStringLiteral("%1 and %2 more")
            .arg(shown.join(QStringLiteral(", ")), QString::number(more));
    }
    if (shown.size() == 1) {
        return shown.front();
    }
    const QString last = shown.takeLast();
    return QStringLiteral("%1 and %2").arg(shown.join(QStringLiteral(", ")), last);
}

QString storageRemovalSummary(const std::vector<StorageItem>& items) {
    Gatherer gathered;
    for (const StorageItem& item : items) {
        const QString name = item.name.isEmpty() ? lastComponent(item.devicePath) : item.name;
        const bool afcFile = item.kind != StorageKind::CameraRollPhoto &&
                             item.kind != StorageKind::PhotoStreamPhoto &&
                             item.kind != StorageKind::PhotoLibraryPhoto && !item.folder;
        if (afcFile && cleanup::isProtectedDeviceFile(item.devicePath)) {
            gathered.add(Group::Protected, name, 0);
            continue;
        }
        switch (item.kind) {
            case StorageKind::CameraRollPhoto:
                gathered.add(isMovieName(QString::fromStdString(item.devicePath)) ? Group::Video
                                                                                  : Group::Photo,
                             name, item.size);
                break;
            case StorageKind::PhotoStreamPhoto:
            case StorageKind::PhotoLibraryPhoto:
                gathered.add(Group::CannotRemove, name, 0);
                break;
            case StorageKind::Music:
                gathered.add(Group::Track, name, item.size);
                break;
            case StorageKind::Video:
                gathered.add(Group::Video, name, item.size);
                break;
            case StorageKind::Book:
                gathered.add(Group::Book, name, item.size);
                break;
            case StorageKind::UserDataFile:
                gathered.add(Group::File, name, item.size);
                break;
        }
    }
    return gathered.text();
}

QString uninstallSummary(const QString& displayName, std::uint64_t bytes) {
    const QString size =
        bytes > 0 ? QStringLiteral(" (%1)").arg(shell::size_to_unit(bytes).trimmed()) : QString();
    return QStringLiteral("This app will be uninstalled with its data%1: %2.")
        .arg(size, namesText({displayName}));
}

QString deviceRemovalSummary(const std::vector<FsRemovalItem>& plan) {
    Gatherer gathered;
    for (const FsRemovalItem& item : plan) {
        const QString name = lastComponent(item.devicePath);
        if (item.folder) {
            gathered.add(Group::Folder, name, 0);
        } else if (cleanup::isProtectedDeviceFile(item.devicePath)) {
            gathered.add(Group::Protected, name, 0);
        } else {
            gathered.add(Group::File, name, 0);
        }
    }
    return gathered.text();
}

QString exportEndText(const QString& message, const std::filesystem::path& folder, bool wrote) {
    if (!wrote || folder.empty()) {
        return message;
    }
    const QString where = QFile::decodeName(QByteArray::fromStdString(folder.string()));
    return QStringLiteral("%1 The copies are in \u201c%2\u201d.").arg(message, where);
}

}  // namespace nimbara::filemanager
