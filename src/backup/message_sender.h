// Who sent a message, as conversations name it.
#pragma once

#include <QString>

class PRMessageNode;

namespace nimbara::backup {

// "Me" for a message sent from the device; for any other, the other party's contact name, or
// its address where no contact names it (a backup without an address book).
QString messageSenderLabel(const PRMessageNode& message);

}  // namespace nimbara::backup
