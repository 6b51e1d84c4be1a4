// How the quick-scan tables show long names: the head and the tail of the name around ".....",
// so both the start and the extension stay readable in a narrow column. Characters are counted
// as code points, so a character outside the basic plane is never cut in half.
#pragma once

#include <QString>

namespace nimbara::shell {

// The large-file table: names of 43 characters or more become 21 + "....." + 21.
QString shortenedLargeFileName(const QString& name);
// The large-app table: names of 81 characters or more become 40 + "....." + 40.
QString shortenedLargeAppName(const QString& name);

}  // namespace nimbara::shell
