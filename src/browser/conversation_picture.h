// Saving the picture of a conversation: PNG data, written into the "Ozzaro" folder on the user's
// Desktop as "<conversation name>_MessageImage.png".
//
// The conversation's name comes from the backup: it is made into one safe file name (no "/",
// never "." or "..", fitted to the name limit with its suffix kept). A picture never replaces
// another: a taken name is numbered "Mom_MessageImage (2).png". The file is written under a
// temporary name and renamed into place once complete. Widget-free; runs on any thread.
#pragma once

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <string>

namespace nimbara::browser {

// The folder on the Desktop that takes the pictures.
inline constexpr char kConversationPictureFolder[] = "Ozzaro";
// What follows the conversation's name in a picture's file name.
inline constexpr char kConversationPictureSuffix[] = "_MessageImage";

// Whether `bytes` start with the PNG file signature.
bool isPngData(const QByteArray& bytes);

// The file stem of a conversation's picture: its name made safe (an empty name stays empty),
// shortened so that the suffix, a number " (N)" and ".png" always fit, then the suffix.
std::string conversationPictureStem(const QString& conversationName);

struct ConversationPictureResult {
    bool ok = false;
    std::filesystem::path folder;  // the pictures' folder (empty when it could not be made)
    std::filesystem::path file;    // the picture written
    QString error;                 // why nothing was written, for the page
};

// Writes `png` as a new picture of the conversation into the pictures' folder of `desktop`
// (both made when missing). Data that is not PNG is refused.
ConversationPictureResult writeConversationPicture(const std::filesystem::path& desktop,
                                                   const QString& conversationName,
                                                   const QByteArray& png);

}  // namespace nimbara::browser
