// The check for a newer version: fetches the version list from the address in the settings,
// compares its version with the running one and says what it found.
//
// The update window offers a newer version with its news; the no-update window says there is
// none. A check the user asked for (checkUpdate set) also reports when there is nothing new, and
// says so when the check failed; a check at launch only logs a failure and shows nothing unless
// there is a newer version.
//
// Everything runs on the GUI thread without waiting: the request is asynchronous, its answer is
// collected as it arrives, capped in size and in time, and read in memory.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>

class QDialog;
class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QSettings;
class QTimer;

class PRUpdateController : public QObject {
    Q_OBJECT
  public:
    enum class Outcome { UpdateAvailable, UpToDate, Failed };
    Q_ENUM(Outcome)

    explicit PRUpdateController(QObject* parent = nullptr);
    ~PRUpdateController() override;
    PRUpdateController(const PRUpdateController&) = delete;
    PRUpdateController& operator=(const PRUpdateController&) = delete;

    // Builds the windows (once; every call after the first does nothing).
    void loadWindow();
    // Takes the running version from the application and hides the update window.
    void hidUpdateWindow();
    // Starts a check. One still running is dropped first, without a report.
    void checkServerVersion();
    // What a finished request does with the body it received: reads it and shows the result.
    void evaluate(const QByteArray& body);
    // True when `one` is a newer version than `withTwoString` (both in dotted form).
    static bool CompareOneString(const QString& one, const QString& withTwoString);

    // The windows' buttons.
    void ClickNotNowAction(QObject* sender = nullptr);
    void ClickGoDownloadAction(QObject* sender = nullptr);
    void ClickOkAction(QObject* sender = nullptr);

    QString currentVersion() const { return currentVersion_; }
    void setCurrentVersion(const QString& version) { currentVersion_ = version; }
    QString lastestVersion() const { return lastestVersion_; }
    QString whatsnewString() const { return whatsnewString_; }
    // Set when the user asked for the check: then no update and a failure are shown too.
    bool checkUpdate() const { return checkUpdate_; }
    void setCheckUpdate(bool value) { checkUpdate_ = value; }
    // A request is in flight.
    bool checkRunning() const;

    // The settings the address is read from at each check (the user's by default).
    void setSettings(std::shared_ptr<QSettings> settings);
    // How long a check may take in all before it is given up (15 s by default).
    void setTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

    // The windows and their outlets (null before loadWindow).
    QDialog* updateWindow() const { return updateWindow_.get(); }
    QDialog* noUpdateWindow() const { return noUpdateWindow_.get(); }
    // Says that a check the user asked for failed, and why.
    QDialog* checkFailedWindow() const { return checkFailedWindow_.get(); }
    QLabel* bottomImageView() const { return bottomImageView_; }
    QLabel* newversionlab() const { return newversionlab_; }
    QLabel* currentversionlab() const { return currentversionlab_; }
    QPlainTextEdit* whatsnewContentView() const { return whatsnewContentView_; }
    QLabel* failureInfolab() const { return failureInfolab_; }

  signals:
    // A check ended; `detail` says why when it failed.
    void checkFinished(PRUpdateController::Outcome outcome, const QString& detail);

  private:
    QSettings& settings();
    void requestFinished();
    void dataArrived();
    // Ends the running request with `reason` as its failure.
    void refuse(const QString& reason);
    void dropRequest();
    // `unsetIn`: the settings file that sets no update server (empty: the check was made).
    void fail(const QString& reason, const QString& unsetIn = QString());
    void present(QDialog* window);

    QString currentVersion_;
    QString lastestVersion_;
    QString whatsnewString_;
    bool checkUpdate_ = false;

    std::shared_ptr<QSettings> settings_;
    std::chrono::milliseconds timeout_{15000};
    QNetworkAccessManager* network_ = nullptr;  // child
    QTimer* deadline_ = nullptr;                // child
    QPointer<QNetworkReply> connect_;           // the request in flight
    QByteArray receivedData_;
    QString refusal_;  // why the running request was ended by us

    std::unique_ptr<QDialog> updateWindow_;
    std::unique_ptr<QDialog> noUpdateWindow_;
    std::unique_ptr<QDialog> checkFailedWindow_;
    QLabel* bottomImageView_ = nullptr;
    QLabel* newversionlab_ = nullptr;
    QLabel* currentversionlab_ = nullptr;
    QPlainTextEdit* whatsnewContentView_ = nullptr;
    QLabel* noUpdateInfolab_ = nullptr;
    QLabel* failureInfolab_ = nullptr;
};
