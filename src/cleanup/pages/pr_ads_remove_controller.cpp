#include "cleanup/pages/pr_ads_remove_controller.h"

PRAdsRemoveController::PRAdsRemoveController(QObject* parent)
    : PageControllerBase("PRAdsRemoveController", QStringLiteral("Ads Remover"), parent) {}

void PRAdsRemoveController::setDeviceIndex(int index) {
    record(QStringLiteral("setDeviceIndex(%1)").arg(argument(index)));
    deviceIndex_ = index;
}
