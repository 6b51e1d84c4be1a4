// The logging category of the backup subsystem.
#pragma once

#include <QLoggingCategory>

namespace nimbara::backup {

Q_DECLARE_LOGGING_CATEGORY(lcBackup)

}  // namespace nimbara::backup
