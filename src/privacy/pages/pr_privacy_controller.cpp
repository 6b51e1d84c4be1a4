#include "privacy/pages/pr_privacy_controller.h"

#include "app/core/text_utilities.h"

PRPrivacyController::PRPrivacyController(QObject* parent)
    : PageControllerBase("PRPrivacyController", QStringLiteral("Privacy Cleaner"), parent) {}

void PRPrivacyController::setDeviceIndex(int index, const QString& withiOSversion) {
    record(QStringLiteral("setDeviceIndex(%1, %2)").arg(argument(index), argument(withiOSversion)));
    deviceIndex_ = index;
    if (withiOSversion.isEmpty()) {
        return;
    }
    const QString major = withiOSversion.section(u'.', 0, 0);
    if (major == u"10" || major == u"11" || major == u"12" ||
        nimbara::shell::leadingInt(major) >= 12) {
        bIOS10Version_ = true;
    }
}

void PRPrivacyController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    fileCount_ = 0;
    totalSize_ = 0;
    showNotAvailable();
}
