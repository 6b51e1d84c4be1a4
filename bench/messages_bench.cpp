// Measures the message reader over a backup whose message database holds many messages, and a
// bare read of the same rows with the SQLite C API for comparison.
//
//   nimbara-bench-messages [--messages N] [--handles H] [--attachments A] [--runs R]
//   defaults: 100000 messages over 500 handles with 5000 attachments, 3 runs (the best counts)
#include <sqlite3.h>
#include <sys/resource.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_scan_readers.h"
#include "backup/manifest_pass.h"
#include "backup/message_reader.h"
#include "backup/pr_message_node.h"
#include "backup/record_notifications.h"
#include "backup_messages.h"
#include "backup_writer.h"
#include "platform/notification_center.h"
#include "platform/scratch_dir.h"
#include "sim_device_builder.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double seconds(Clock::duration elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

bool parseArgs(int argc, char** argv, long& messages, long& handles, long& attachments,
               long& runs) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        long* target = arg == "--messages"      ? &messages
                       : arg == "--handles"     ? &handles
                       : arg == "--attachments" ? &attachments
                       : arg == "--runs"        ? &runs
                                                : nullptr;
        if (target == nullptr || i + 1 >= argc) {
            return false;
        }
        char* end = nullptr;
        const long n = std::strtol(argv[++i], &end, 10);
        if (*end != '\0' || n < 0 || n > 10'000'000) {
            return false;
        }
        *target = n;
    }
    return handles > 0 && attachments <= messages && runs > 0;
}

std::vector<nimbara::simdev::BackupMessage> makeMessages(long count, long handles,
                                                         long attachments) {
    std::vector<nimbara::simdev::BackupMessage> messages;
    messages.reserve(static_cast<std::size_t>(count));
    const long every = attachments > 0 ? count / attachments : 0;
    long attached = 0;
    for (long i = 0; i < count; ++i) {
        nimbara::simdev::BackupMessage m;
        m.address = "+1415555" + std::to_string(1000 + i % handles);
        m.text = "Message number " + std::to_string(i) + ", about the plans for the weekend.";
        m.fromMe = i % 3 == 0;
        m.imessage = i % 2 == 0;
        m.unixTime = 1'600'000'000 + i * 97;
        m.readAfter = m.fromMe ? 0 : 30;
        if (every > 0 && i % every == 0 && attached < attachments) {
            ++attached;
            const bool card = attached % 10 == 0;
            m.attachment = nimbara::simdev::BackupMessageAttachment{
                card ? "Contact.vcf" : "IMG_" + std::to_string(attached) + ".JPG",
                card ? "text/vcard" : "image/jpeg",
                card ? "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Someone\r\nEND:VCARD\r\n"
                     : std::string(256, '\xD8')};
        }
        messages.push_back(std::move(m));
    }
    return messages;
}

// The same rows the reader reads, stepped through with the C API alone: the attachment rows,
// then every message with its handle, each column fetched.
long bareRead(const std::string& path, long& attachmentRows) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    auto run = [db](const char* sql, int columns) {
        sqlite3_stmt* st = nullptr;
        long rows = 0;
        std::size_t bytes = 0;
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) {
            return -1L;
        }
        while (sqlite3_step(st) == SQLITE_ROW) {
            ++rows;
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(st, c) == SQLITE_TEXT) {
                    bytes += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                         static_cast<std::size_t>(sqlite3_column_bytes(st, c)))
                                 .size();
                } else {
                    bytes += static_cast<std::size_t>(sqlite3_column_int64(st, c) & 1);
                }
            }
        }
        sqlite3_finalize(st);
        return bytes > 0 ? rows : rows;
    };
    attachmentRows =
        run("SELECT message_attachment_join.message_id, message_attachment_join.attachment_id, "
            "attachment.filename FROM attachment LEFT JOIN message_attachment_join ON "
            "attachment.ROWID = message_attachment_join.attachment_id",
            3);
    const long rows =
        run("SELECT message.ROWID, message.cache_has_attachments, message.text, message.date, "
            "message.handle_id, handle.id, message.is_from_me FROM message LEFT JOIN handle ON "
            "message.handle_id = handle.ROWID",
            7);
    sqlite3_close(db);
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    long count = 100'000;
    long handles = 500;
    long attachments = 5'000;
    long runs = 3;
    if (!parseArgs(argc, argv, count, handles, attachments, runs)) {
        std::fprintf(stderr,
                     "usage: nimbara-bench-messages [--messages N] [--handles H] "
                     "[--attachments A] [--runs R]\n");
        return 2;
    }
    const fs::path work = nimbara::scratchFolder("messages-bench");
    if (work.empty()) {
        std::fprintf(stderr, "no scratch folder\n");
        return 1;
    }

    const auto made = Clock::now();
    nimbara::simdev::SimDeviceBuilder builder(work / "device");
    builder.setIdentity("Bench iPhone", "bench-messages-0001", "iPhone10,4", "12.4.1");
    nimbara::simdev::addBackupMessages(builder, makeMessages(count, handles, attachments));
    if (!builder.write()) {
        std::fprintf(stderr, "cannot write the device\n");
        return 1;
    }
    const auto backup = nimbara::simdev::writeBackup(work / "device", work / "backups");
    if (!backup.ok) {
        std::fprintf(stderr, "cannot write the backup: %s\n", backup.error.c_str());
        return 1;
    }
    std::printf("backup of %ld messages over %ld handles with %ld attachments written in %.2f s\n",
                count, handles, attachments, seconds(Clock::now() - made));

    // What the scan's first steps leave for the message step: the manifest pass's entries.
    nimbara::NotificationCenter center;
    const auto passStart = Clock::now();
    auto pass =
        nimbara::backup::runManifestPass(QString::fromStdString(backup.folder.string()), center);
    std::printf("manifest pass: %zu media entries in %.3f s\n", pass.treeFileArray.size(),
                seconds(Clock::now() - passStart));

    const long rssBefore = peakRssKb();
    long posted = 0;
    long withAttachment = 0;
    auto token =
        center.addObserver(nimbara::backup::kScanMessageInfo, [&](const nimbara::Notification& n) {
            ++posted;
            const auto m = n.objectAs<std::shared_ptr<PRMessageNode>>();
            withAttachment += m && !m->attachmentPath().isEmpty();
        });
    nimbara::backup::MessageScanInputs inputs;
    inputs.treeFiles = std::move(pass.treeFileArray);
    double readerSeconds = 0;
    nimbara::backup::MessageReadResult result;
    for (long run = 0; run < runs; ++run) {
        posted = 0;
        withAttachment = 0;
        const auto readerStart = Clock::now();
        result = nimbara::backup::scanMessageThread(backup.folder.string(), &center, inputs);
        const double elapsed = seconds(Clock::now() - readerStart);
        readerSeconds = run == 0 ? elapsed : std::min(readerSeconds, elapsed);
        if (!result.ok) {
            std::fprintf(stderr, "the reader failed: %s\n", result.error.c_str());
            return 1;
        }
    }
    const long rssAfter = peakRssKb();

    const std::string stored = nimbara::backup::storedFilePath(
        backup.folder.string(), nimbara::backup::kMessageDatabaseKey,
        nimbara::backup::BackupLayout::Sharded);
    long bareAttachments = 0;
    long bareRows = 0;
    double bareSeconds = 0;
    for (long run = 0; run < runs; ++run) {
        const auto bareStart = Clock::now();
        bareRows = bareRead(stored, bareAttachments);
        const double elapsed = seconds(Clock::now() - bareStart);
        bareSeconds = run == 0 ? elapsed : std::min(bareSeconds, elapsed);
    }

    std::printf(
        "message reader: %ld messages posted (%ld with a resolved attachment, %zu "
        "attachment rows) in %.3f s, %.0f messages/s\n",
        posted, withAttachment, result.attachments, readerSeconds,
        readerSeconds > 0 ? posted / readerSeconds : 0.0);
    std::printf("bare sqlite3 read: %ld messages, %ld attachment rows in %.3f s\n", bareRows,
                bareAttachments, bareSeconds);
    const double ratio = bareSeconds > 0 ? readerSeconds / bareSeconds : 0.0;
    std::printf("reader / bare read: %.2fx -> %s\n", ratio,
                ratio <= 2.0 ? "goal met" : "goal NOT met");
    std::printf("peak memory: %ld KB before the reader, %ld KB after (+%ld KB; no message kept)\n",
                rssBefore, rssAfter, rssAfter - rssBefore);
    return 0;
}
