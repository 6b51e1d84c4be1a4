#include "transfer/music_library_copy.h"

#include <QDebug>
#include <QFile>

#include "platform/log_categories.h"
#include "transfer/media_export.h"
#include "transfer/pr_tran_music_node.h"

namespace nimbara::transfer {

namespace {

const QString kNoAutomaticImport =
    QStringLiteral("; there is no automatic-import folder on this computer");

// The library's own words from its alert text ("Error <n> occured the <call> call: <words>"),
// without the closing full stop.
QString libraryReason(const QString& alertText) {
    const QString marker = QStringLiteral(") call: ");
    const int at = alertText.lastIndexOf(marker);
    QString reason = at < 0 ? alertText : alertText.mid(at + marker.size());
    while (reason.endsWith(QLatin1Char('.'))) {
        reason.chop(1);
    }
    return reason.isEmpty() ? QStringLiteral("the music library did not answer") : reason;
}

QString copyReason(const PreviewCopyResult& result) {
    if (result.status == PreviewCopyStatus::NoFile) {
        return QStringLiteral("it has no file on the device");
    }
    return result.error.empty() ? QStringLiteral("it could not be copied from the device")
                                : QStringLiteral("it could not be copied from the device (%1)")
                                      .arg(exportWriteReason(result.error));
}

QString countOf(std::size_t count, bool videos) {
    if (count == 1) {
        return videos ? QStringLiteral("1 video") : QStringLiteral("1 track");
    }
    return QStringLiteral("%1 %2").arg(count).arg(videos ? QStringLiteral("videos")
                                                         : QStringLiteral("tracks"));
}

}  // namespace

LibraryCopyReport copyTracksToLibrary(const LibraryCopyRequest& request,
                                      const iTunesScriptHandler::ErrorAlert& alert,
                                      const LibraryCopyProgress& progress,
                                      const std::function<bool()>& stop,
                                      const TrackCopyFunction& copy) {
    LibraryCopyReport report;
    report.total = request.tracks.size();
    report.videos = request.videos;
    report.libraryFolder = request.libraryFolder;
    if (request.tracks.empty()) {
        return report;
    }
    QString lastError;
    bool alerted = false;
    iTunesScriptHandler library(request.libraryFolder,
                                [&](const QString& title, const QString& text, const QString& ok) {
                                    lastError = text;
                                    if (!alerted && alert) {
                                        alerted = true;
                                        alert(title, text, ok);
                                    }
                                });
    // Where a failed library call would have sent the file: no such folder here.
    const QString fallback = request.fetchMissing ? kNoAutomaticImport : QString();
    const auto fail = [&report](const PRTranMusicNode& track, const QString& reason) {
        report.failures.push_back({track.musicTitle(), reason});
        qCWarning(lcTransfer).noquote()
            << "Music library copy:" << track.musicTitle() << ":" << reason;
    };
    const QString playlist = QLatin1String(kLibraryPlaylist);
    // Without its playlist nothing can be added: the device is not asked for anything then.
    if (!library.addNewPlaylist(playlist)) {
        for (const auto& track : request.tracks) {
            fail(*track, libraryReason(lastError) + fallback);
        }
        return report;
    }
    for (std::size_t i = 0; i < request.tracks.size(); ++i) {
        if (stop && stop()) {
            report.stopped = true;
            break;
        }
        PRTranMusicNode& track = *request.tracks[i];
        if (!hasUsableCopy(track)) {
            if (!request.fetchMissing) {
                fail(track, QStringLiteral("it has not been copied from the device yet (play it or "
                                           "copy it to the music library)"));
                continue;
            }
            const PreviewCopyResult copied = copy(request.device, track, stop);
            if (copied.status == PreviewCopyStatus::DeviceGone) {
                report.deviceGone = true;
                break;
            }
            if (copied.status == PreviewCopyStatus::Stopped) {
                report.stopped = true;
                break;
            }
            if (!copied.playable() || !hasUsableCopy(track)) {
                fail(track, copyReason(copied));
                continue;
            }
        }
        lastError.clear();
        if (library.addNewFile(track.bCopyLocationPath(), playlist)) {
            ++report.added;
        } else {
            fail(track, libraryReason(lastError) + fallback);
        }
        if (progress) {
            progress(i + 1, request.tracks.size());
        }
    }
    return report;
}

QString libraryCopyOutcomeText(const LibraryCopyReport& report) {
    if (report.total == 0) {
        return QString();
    }
    const QString where =
        QStringLiteral("the playlist %1 in %2")
            .arg(QLatin1String(kLibraryPlaylist), QFile::decodeName(report.libraryFolder.c_str()));
    QString text;
    if (report.deviceGone) {
        text = QStringLiteral("The device went away before everything was copied. ");
    } else if (report.stopped) {
        text = QStringLiteral("The copy to the music library was stopped. ");
    }
    if (report.added == report.total) {
        text += QStringLiteral("%1 %2 added to %3.")
                    .arg(countOf(report.added, report.videos),
                         report.added == 1 ? QStringLiteral("was") : QStringLiteral("were"), where);
    } else if (report.added > 0) {
        text += QStringLiteral("%1 of %2 were added to %3.")
                    .arg(report.added)
                    .arg(countOf(report.total, report.videos), where);
    } else if (report.failures.empty()) {
        text += QStringLiteral("Nothing was added to the music library.");
    }
    if (!report.failures.empty()) {
        const LibraryCopyFailure& first = report.failures.front();
        if (!text.isEmpty()) {
            text += QLatin1Char(' ');
        }
        text += QStringLiteral("\"%1\" could not be added to the music library: %2.")
                    .arg(first.title, first.reason);
        if (report.failures.size() > 1) {
            text += QStringLiteral(" %1 more could not be added either.")
                        .arg(report.failures.size() - 1);
        }
    }
    return text;
}

}  // namespace nimbara::transfer
