// Ends the application as Quit does when the system asks it to (SIGTERM at log-out or shutdown,
// SIGINT from a terminal, SIGHUP when its terminal goes): the event loop returns with 128 + the
// signal's number, so that jobs stop and private copies are removed on the way out. A second
// signal while that runs ends the program at once, as the signal would have without us.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace nimbara {

class QuitOnSignals : public QObject {
  public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

    // The signal that ended the event loop; 0 while none came.
    int received() const { return received_; }

  private:
    void readSignal();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    int received_ = 0;
};

}  // namespace nimbara
