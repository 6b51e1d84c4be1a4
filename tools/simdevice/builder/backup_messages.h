// The message database of a simulated device's backup: HomeDomain/Library/SMS/sms.db with the
// tables and columns the device uses, and the attachment files under
// MediaDomain/Library/SMS/Attachments.
//
// The device keeps the layout of iOS 6 and later (a `handle` table, dates in nanoseconds since
// 2001). A backup made as if the device ran iOS 5 holds the older layout instead (`msg_group`,
// `group_member` and the "madrid" columns of iMessages; text-message dates in Unix seconds,
// iMessage dates in seconds since 2001): the backup writer asks for that form through
// writeBackupVariant.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim_device_builder.h"

namespace nimbara::simdev {

struct BackupMessageAttachment {
    std::string name;      // "IMG_0412.JPG", "Contact.vcf", "Current Location.loc.vcf"
    std::string mimeType;  // "image/jpeg", "text/vcard", ...
    std::string bytes;
};

struct BackupMessage {
    std::string address;  // the other party: a phone number in any spelling, or an e-mail
    std::string text;
    bool fromMe = false;
    bool imessage = true;        // else a text message
    std::int64_t unixTime = 0;   // when it was sent or received
    std::int64_t readAfter = 0;  // seconds until a received message was read (0: unread)
    std::optional<BackupMessageAttachment> attachment{};
};

enum class MessageDatabaseLayout { Handle, GroupMember };

// Writes a message database at `file` (replacing one there). Handle layout: `nanoseconds` picks
// the date unit of iOS 11 and later, else seconds since 2001; like the device's, its attachment
// table has a trigger calling delete_attachment_path(), a function only the device has. Attachment
// rows name
// "~/<attachmentPath(i, ...)>" for message i; only the handle layout has attachment tables.
// Throws std::runtime_error when SQLite fails.
void writeMessageDatabase(const std::filesystem::path& file,
                          const std::vector<BackupMessage>& messages, MessageDatabaseLayout layout,
                          bool nanoseconds = true);

// Where the device keeps the attachment of message `index` (0-based), relative to its home
// folder and to MediaDomain: "Library/SMS/Attachments/<xx>/<yy>/<guid>/<name>".
std::string messageAttachmentPath(std::size_t index, const std::string& name);

// The message database and its attachment files in backup-source/ (replacing earlier ones).
void addBackupMessages(const SimDeviceBuilder& b, const std::vector<BackupMessage>& messages);

// For a backup made for `productVersion`: writes to `target` the form of the backed-up file
// `local` (domain, relative path) that such a device would hold, when it differs from the file
// itself, and says so. Only the message database differs (before iOS 6).
bool writeBackupVariant(const std::string& domain, const std::string& relativePath,
                        const std::filesystem::path& local, const std::string& productVersion,
                        const std::filesystem::path& target);

// The demo iPhone's conversations.
std::vector<BackupMessage> demoMessages();
void addDemoMessages(const SimDeviceBuilder& b);

}  // namespace nimbara::simdev
