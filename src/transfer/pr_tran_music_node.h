// One music or video track of the device's media library. Held by std::shared_ptr; every accessor
// is thread-safe. Texts are kept as the device wrote them (a title may hold "/" or ".."): only
// localFileName() makes a name fit for a local folder.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

class PRTranMusicNode {
  public:
    PRTranMusicNode() = default;
    PRTranMusicNode(const PRTranMusicNode&) = delete;
    PRTranMusicNode& operator=(const PRTranMusicNode&) = delete;

    // track title
    QString musicTitle() const { return musicTitle_.get(); }
    void setMusicTitle(const QString& value) { musicTitle_.set(value); }
    // "Music" or "Video"
    QString musicType() const { return musicType_.get(); }
    void setMusicType(const QString& value) { musicType_.set(value); }
    // artist name
    QString musicArtist() const { return musicArtist_.get(); }
    void setMusicArtist(const QString& value) { musicArtist_.set(value); }
    // album name; a null text until an album is known
    QString musicAlbm() const { return musicAlbm_.get(); }
    void setMusicAlbm(const QString& value) { musicAlbm_.set(value); }
    // size as display text
    QString musicFileSize() const { return musicFileSize_.get(); }
    void setMusicFileSize(const QString& value) { musicFileSize_.set(value); }
    // rating text
    QString musicRating() const { return musicRating_.get(); }
    void setMusicRating(const QString& value) { musicRating_.set(value); }
    // duration as hours, minutes and seconds
    QString musicTime() const { return musicTime_.get(); }
    void setMusicTime(const QString& value) { musicTime_.set(value); }
    // genre text
    QString musicGenre() const { return musicGenre_.get(); }
    void setMusicGenre(const QString& value) { musicGenre_.set(value); }
    // the item's id in the media library, as decimal text
    QString musicPid() const { return musicPid_.get(); }
    void setMusicPid(const QString& value) { musicPid_.set(value); }
    QString artistPid() const { return artistPid_.get(); }
    void setArtistPid(const QString& value) { artistPid_.set(value); }
    QString albumPid() const { return albumPid_.get(); }
    void setAlbumPid(const QString& value) { albumPid_.set(value); }
    // device path of the media file; empty when the library names none
    QString musicLoctionpath() const { return musicLoctionpath_.get(); }
    void setMusicLoctionpath(const QString& value) { musicLoctionpath_.set(value); }
    // a local copy of the track exists
    bool bhasCopy() const { return bhasCopy_.load(); }
    void setBhasCopy(bool value) { bhasCopy_.store(value); }
    // path of that local copy
    QString bCopyLocationPath() const { return bCopyLocationPath_.get(); }
    void setBCopyLocationPath(const QString& value) { bCopyLocationPath_.set(value); }
    // size in bytes
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }

    // The name a local copy of the track gets: the title made one safe file name (no "/", no
    // "..", no hidden name; the media file's own name, else "Untitled", when the title gives
    // nothing) with the extension of the media file, fitted to the longest local name. A writer
    // still numbers it when the name is taken.
    std::string localFileName() const;

  private:
    LockedValue<QString> musicTitle_{QStringLiteral(" ")};
    LockedValue<QString> musicType_{QStringLiteral(" ")};
    LockedValue<QString> musicArtist_{QStringLiteral(" ")};
    LockedValue<QString> musicAlbm_;
    LockedValue<QString> musicFileSize_{QStringLiteral(" ")};
    LockedValue<QString> musicRating_{QStringLiteral(" ")};
    LockedValue<QString> musicTime_{QStringLiteral(" ")};
    LockedValue<QString> musicGenre_{QStringLiteral(" ")};
    LockedValue<QString> musicPid_{QStringLiteral(" ")};
    LockedValue<QString> artistPid_{QStringLiteral(" ")};
    LockedValue<QString> albumPid_{QStringLiteral(" ")};
    LockedValue<QString> musicLoctionpath_{QLatin1String("")};
    std::atomic<bool> bhasCopy_{false};
    LockedValue<QString> bCopyLocationPath_{QStringLiteral(" ")};
    std::atomic<std::uint64_t> fileSizeNumber_{0};
};
