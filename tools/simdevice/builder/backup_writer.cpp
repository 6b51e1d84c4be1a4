#include "backup_writer.h"

#include "backup_messages.h"

namespace nimbara::simdev {

BackupResult writeBackup(const std::filesystem::path& deviceDir,
                         const std::filesystem::path& backupRoot, const BackupOptions& options) {
    BackupOptions withVariants = options;
    if (!withVariants.variantWriter) {
        withVariants.variantWriter = writeBackupVariant;
    }
    return md::sim::writeDeviceBackup(deviceDir, backupRoot, withVariants);
}

}  // namespace nimbara::simdev
