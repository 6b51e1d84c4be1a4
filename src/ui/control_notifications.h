// Posting a control's named notification on the default centre, with the control as object.
#pragma once

#include <QObject>
#include <string>

namespace nimbara::ui {

// Posts `name` synchronously on NotificationCenter::defaultCenter(). The object is exactly
// `control` as a QObject*, so observers compare it with `n.objectAs<QObject*>()`.
void postControlNotification(const std::string& name, QObject* control);

}  // namespace nimbara::ui
