#include "browser/pages/pr_result_view_controller.h"

PRResultViewController::PRResultViewController(QObject* parent)
    : PageControllerBase("PRResultViewController", QStringLiteral("Backup Browser"), parent) {}
