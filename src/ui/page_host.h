// What a page needs of the program around it, named by intent: the window its sheets go on, the
// device on show, the settings it reads, the shell's running totals and busy marks, where it can
// send the user, and the backup browser's shared state. The shell implements it; tests hand
// pages a fake. Nothing here names the shell, so pages depend on this and never on it.
// GUI thread only, unless a member says otherwise.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "device/device_target.h"

class QWidget;
class PRContactNode;
class PRIOSDeviceController;
class PRIOSDeviceNode;
class PRiDeviceNode;

namespace nimbara::ui {

class PageHost {
  public:
    // The shell's running totals of what was removed, by the storage overview's categories.
    enum class RemovedCategory { Photos, Music, Videos, Books, Apps, UserData };
    // The spinners beside the sidebar entries and the records' busy marks.
    enum class BusyMark { SystemFiles, Apps, Photos, Music, Contacts, Messages, Notes };
    // Where a page can send the user.
    enum class Destination {
        BackupNow,      // the backup page, starting a backup of the device on show
        ScanBackups,    // the backup browser, reading the local backups again
        BackupBrowser,  // the backup browser's results, in the main view
    };

    virtual ~PageHost() = default;

    // The window pages put their sheets and alerts on (null before it is built).
    virtual QWidget* hostWindow() const = 0;
    // The device on show and its target; null and an empty target when none. Any thread.
    virtual std::shared_ptr<PRiDeviceNode> currentDeviceNode() const = 0;
    virtual amd::DeviceTarget currentDeviceTarget() const = 0;
    // A device is attached and trusted. Any thread.
    virtual bool deviceConnected() const = 0;

    // From the settings: the folder exports go to, and the large-file limit in bytes. Any thread.
    virtual QString exportFolder() const = 0;
    virtual std::uint64_t largeFileLimit() const = 0;

    // Adds what a removal freed to the storage overview's total of `category`.
    virtual void addRemovedBytes(RemovedCategory category, std::uint64_t bytes) = 0;
    // Starts or stops a busy mark.
    virtual void markBusy(BusyMark mark, bool busy) = 0;
    // Sends the user to `destination`.
    virtual void navigateTo(Destination destination) = 0;

    // The backup browser: the local backups listed, the one chosen, and the contacts read from
    // it (which other records are matched against).
    virtual PRIOSDeviceController* localBackups() const = 0;
    virtual void chooseBackup(const std::shared_ptr<PRIOSDeviceNode>& backup) = 0;
    virtual void setBackupContacts(std::vector<std::shared_ptr<PRContactNode>> contacts) = 0;
};

}  // namespace nimbara::ui
