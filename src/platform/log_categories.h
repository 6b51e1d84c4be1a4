// The program's log categories, one per source folder, so a line says where it comes from and a
// reader can turn a part of the program up or down (QT_LOGGING_RULES="nimbara.backup.debug=true").
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)     // nimbara.platform
Q_DECLARE_LOGGING_CATEGORY(lcDevice)       // nimbara.device
Q_DECLARE_LOGGING_CATEGORY(lcApp)          // nimbara.app
Q_DECLARE_LOGGING_CATEGORY(lcUi)           // nimbara.ui
Q_DECLARE_LOGGING_CATEGORY(lcCleanup)      // nimbara.cleanup
Q_DECLARE_LOGGING_CATEGORY(lcBackup)       // nimbara.backup
Q_DECLARE_LOGGING_CATEGORY(lcBrowser)      // nimbara.browser
Q_DECLARE_LOGGING_CATEGORY(lcPrivacy)      // nimbara.privacy
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)     // nimbara.transfer
Q_DECLARE_LOGGING_CATEGORY(lcFileManager)  // nimbara.filemanager
