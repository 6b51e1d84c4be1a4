#include "platform/log_categories.h"

Q_LOGGING_CATEGORY(lcPlatform, "nimbara.platform")
Q_LOGGING_CATEGORY(lcDevice, "nimbara.device")
Q_LOGGING_CATEGORY(lcApp, "nimbara.app")
Q_LOGGING_CATEGORY(lcUi, "nimbara.ui")
Q_LOGGING_CATEGORY(lcCleanup, "nimbara.cleanup")
Q_LOGGING_CATEGORY(lcBackup, "nimbara.backup")
Q_LOGGING_CATEGORY(lcBrowser, "nimbara.browser")
Q_LOGGING_CATEGORY(lcPrivacy, "nimbara.privacy")
Q_LOGGING_CATEGORY(lcTransfer, "nimbara.transfer")
Q_LOGGING_CATEGORY(lcFileManager, "nimbara.filemanager")
