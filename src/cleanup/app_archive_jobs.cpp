// Stand-in until the archive and reinstall jobs land: both refuse, changing nothing.
#include "cleanup/app_archive_jobs.h"

namespace nimbara::cleanup {

AppJobResult archiveAppToFolder(const AppJobTarget&, const QString&, const AppJobStopCheck&) {
    AppJobResult result;
    result.outcome = AppJobResult::Outcome::Failed;
    result.message = QStringLiteral("Archiving apps is not available yet.");
    return result;
}

AppJobResult reinstallApp(const AppJobTarget&, const AppJobStopCheck&) {
    AppJobResult result;
    result.outcome = AppJobResult::Outcome::Failed;
    result.message = QStringLiteral("Reinstalling apps is not available yet.");
    return result;
}

}  // namespace nimbara::cleanup
