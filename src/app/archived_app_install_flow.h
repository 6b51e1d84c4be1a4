// The run of File > Open archived app once a zip file was chosen: the archive is checked on a
// worker under a progress dialog (the window keeps drawing), the user is asked, naming the app,
// the file, the device and what is replaced, and only then is the app installed on a worker; the
// outcome ends the run in an alert.
//
// A run belongs to the device (index and serial) that was current when it started, and that the
// question names. When another device becomes current or that one goes, the run stops: what its
// worker still posts is dropped and the user is told. The worker alone unpacks, talks to the
// device and removes the run's scratch folder; the GUI thread never waits for it.
// GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "device/device_target.h"

class QProgressDialog;
class QWidget;

namespace nimbara {
class JobRunner;
}

namespace nimbara::app {

// The device the user works with now.
struct ArchiveInstallDevice {
    amd::DeviceTarget target;
    QString name;
};

class ArchivedAppInstallFlow : public QObject {
    Q_OBJECT
  public:
    // The current device, or nullopt when none is connected.
    using CurrentDevice = std::function<std::optional<ArchiveInstallDevice>()>;

    ArchivedAppInstallFlow(QWidget* window, CurrentDevice currentDevice, QObject* parent = nullptr);
    ~ArchivedAppInstallFlow() override;

    // Starts a run for `zipFile` on the current device. False, and nothing started, while a run
    // is on or when no device is connected.
    bool start(const QString& zipFile);
    bool busy() const { return run_ != nullptr; }
    // Ends the run when the current device is no longer its own; the shell calls it after every
    // change or departure of the current device. Not while the question is up: the answer is
    // checked against the device instead. A departure mid-step is also seen by the worker, which
    // is bound to the device.
    void checkDevice();

    // The progress dialog while the archive is checked or installed (null otherwise).
    QProgressDialog* progress() const;
    // The text of the last alert that ended a run (empty before the first).
    const QString& lastOutcome() const { return lastOutcome_; }
    // Threads of stopped runs that have not ended yet.
    std::size_t ending() const;

  private:
    struct Run;

    void showProgress(const QString& text, bool stoppable);
    void ask(const std::shared_ptr<Run>& run, const QString& message, const QString& detail);
    // Ends the current run: no progress; the worker finishes on its own.
    void endRun(bool stopWorker);
    // Ends the run and tells the user.
    void conclude(const QString& message, const QString& button);
    bool isCurrentDevice(const amd::DeviceTarget& target) const;

    QWidget* window_;
    CurrentDevice currentDevice_;
    std::unique_ptr<nimbara::JobRunner> worker_;
    std::shared_ptr<Run> run_;
    QPointer<QProgressDialog> progress_;
    QString lastOutcome_;
};

}  // namespace nimbara::app
