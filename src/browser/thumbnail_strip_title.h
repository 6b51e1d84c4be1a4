// The short name under a thumbnail: a name below 14 bytes of UTF-8 is shown whole; a longer one
// as its first five characters (four when those five are not all one-byte characters), "..."
// and its last five. A name too short to lose anything that way is shown whole.
#pragma once

#include <QString>

namespace nimbara::browser {

QString thumbnailTitle(const QString& fileName);

}  // namespace nimbara::browser
