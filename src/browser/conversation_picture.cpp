#include "browser/conversation_picture.h"

#include <string_view>
#include <system_error>

#include "backup/writers/export_file.h"

namespace nimbara::browser {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr std::string_view kPngExtension = ".png";
// Room kept for the number of a taken name: " (10000)", the most an export tries.
constexpr std::size_t kNumberRoom = 8;

// The first bytes of `text` up to `limit`, never cut inside a UTF-8 sequence.
std::string utf8Prefix(std::string text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t keep = limit;
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    text.resize(keep);
    return text;
}

}  // namespace

bool isPngData(const QByteArray& bytes) {
    return bytes.size() > static_cast<qsizetype>(kPngSignature.size()) &&
           std::string_view(bytes.constData(), kPngSignature.size()) == kPngSignature;
}

std::string conversationPictureStem(const QString& conversationName) {
    const std::string suffix(kConversationPictureSuffix);
    if (conversationName.trimmed().isEmpty()) {
        return suffix;
    }
    const std::size_t room =
        backup::kExportNameMax - suffix.size() - kPngExtension.size() - kNumberRoom;
    return utf8Prefix(backup::safeFileStem(conversationName, {}), room) + suffix;
}

ConversationPictureResult writeConversationPicture(const fs::path& desktop,
                                                   const QString& conversationName,
                                                   const QByteArray& png) {
    ConversationPictureResult result;
    if (!isPngData(png)) {
        result.error = QStringLiteral("The picture could not be made.");
        return result;
    }
    if (desktop.empty()) {
        result.error = QStringLiteral("There is no Desktop folder to save the picture in.");
        return result;
    }
    // A missing Desktop is made, as the folder inside it is.
    std::error_code ec;
    fs::create_directories(desktop, ec);
    const fs::path root = ec ? fs::path() : fs::canonical(desktop, ec);
    if (root.empty() || ec || !fs::is_directory(root, ec)) {
        result.error =
            QStringLiteral("The Desktop folder %1 could not be made to save the picture in: %2")
                .arg(QString::fromStdString(desktop.string()),
                     QString::fromStdString(ec ? ec.message() : std::string("not a folder")));
        return result;
    }
    std::string why;
    const auto folder = backup::makeFolderInside(root, {kConversationPictureFolder}, &why);
    if (!folder) {
        result.error = QStringLiteral("The folder for the picture could not be made: %1")
                           .arg(QString::fromStdString(why));
        return result;
    }
    result.folder = *folder;
    const auto written = backup::writeExportFile(
        *folder, QString::fromStdString(conversationPictureStem(conversationName)), kPngExtension,
        std::string(png.constData(), static_cast<std::size_t>(png.size())));
    if (!written) {
        result.error = QStringLiteral("The picture could not be saved: %1")
                           .arg(QString::fromStdString(written.error));
        return result;
    }
    result.ok = true;
    result.file = written.path;
    return result;
}

}  // namespace nimbara::browser
