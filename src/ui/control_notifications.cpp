#include "ui/control_notifications.h"

#include "platform/notification_center.h"

namespace nimbara::ui {

void postControlNotification(const std::string& name, QObject* control) {
    NotificationCenter::defaultCenter().post(name, std::any(control));
}

}  // namespace nimbara::ui
