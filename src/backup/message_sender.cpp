#include "backup/message_sender.h"

#include "backup/pr_message_node.h"

namespace nimbara::backup {

QString messageSenderLabel(const PRMessageNode& message) {
    if (message.messageType() == QLatin1String("Send")) {
        return QStringLiteral("Me");
    }
    const QString name = message.messageName().trimmed();
    return name.isEmpty() ? message.messagePhone() : message.messageName();
}

}  // namespace nimbara::backup
