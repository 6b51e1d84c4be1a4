// Backups of simulated devices for the demo, the tests and the benchmarks. The writer itself is
// the simulated device's (platform/mobiledevice/sim/sim_backup_writer.h), shared with the backup
// tool; this one adds what only a generated device needs: a backup made as if the device ran an
// older iOS holds the older form of its message database.
#pragma once

#include <filesystem>

#include "platform/mobiledevice/sim/sim_backup_writer.h"

namespace nimbara::simdev {

using md::sim::BackupOptions;
using md::sim::BackupResult;
using md::sim::isPlainUdid;
using md::sim::ListedOnlyEntry;
using md::sim::usesLegacyLayout;

// The simulated device's backup writer; unless the options bring their own variant writer, a
// backup for a version before 6 stores the message database in that version's layout.
BackupResult writeBackup(const std::filesystem::path& deviceDir,
                         const std::filesystem::path& backupRoot,
                         const BackupOptions& options = {});

}  // namespace nimbara::simdev
