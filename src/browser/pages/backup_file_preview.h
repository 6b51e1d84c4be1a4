// The preview of one backed-up file: its picture when it is one, else an icon of its type.
#pragma once

#include "backup/pr_tree_dir_node.h"

#include <QImage>
#include <QPixmap>
#include <QString>

#include <cstdint>

namespace nimbara::browser {

// A picture is decoded at most this wide and high (scaled while decoding where its format can,
// else after): a backup holds photos of tens of megapixels.
inline constexpr int kPreviewSide = 768;
// Pictures whose header says they have more pixels than this are not decoded at all.
inline constexpr std::int64_t kPreviewMaxPixels = 120'000'000;

// The picture stored at `where`, fitted into maxSide x maxSide; a null image when the file is
// not a picture, cannot be read or is too large. The file is reached through the backup folder
// (BackupFolder): a link anywhere below the backup folder, the stored file included, is
// refused, so nothing outside the backup is ever shown in its place. Any thread; it reads the
// disk, so never the GUI thread.
QImage decodeStoredPicture(const PRTreeDirNode::StoredLocation& where, int maxSide = kPreviewSide);

// An icon for a file of this name's type, side x side: a picture, film, sound or document
// drawing by the name's extension, with the extension written on it. GUI thread.
QPixmap fileTypeIcon(const QString& fileName, int side = 256);

}  // namespace nimbara::browser
