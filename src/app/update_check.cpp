#include "app/update_check.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <utility>

#include "app/core/preferences_settings.h"
#include "app/core/update_check.h"
#include "platform/log_categories.h"
#include "ui/view_helpers.h"
#include "ui/window_builders.h"

namespace {

using nimbara::ui::build::kText;
using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

// `height` 0: as high as its texts need, at least 150.
QDialog* makeWindow(const char* objectName, int width, int height) {
    auto* window = named(new QDialog, objectName);
    window->setWindowTitle(QStringLiteral("Software Update"));
    if (height > 0) {
        window->setFixedSize(width, height);
    } else {
        window->setFixedWidth(width);
        window->setMinimumHeight(150);
    }
    nimbara::ui::fillBackground(window, Qt::white);
    return window;
}

QLabel* plainLabel(QWidget* parent, const char* objectName, int pointSize, bool bold,
                   const QColor& colour = kText) {
    // Texts from the network are shown as they are, never read as markup.
    QLabel* label = makeLabel(parent, objectName, QString(), pointSize, colour, bold);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* objectName, const QString& text) {
    auto* button = named(new QPushButton(text, parent), objectName);
    button->setMinimumWidth(96);
    return button;
}

// A small window of one heading, one line under it and an OK button.
QDialog* makeMessageWindow(const char* objectName, const QString& heading, QLabel** info,
                           QPushButton** ok) {
    QDialog* window = makeWindow(objectName, 400, 0);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(8);
    QLabel* title = plainLabel(window, "titlelab", 13, true);
    title->setText(heading);
    *info = plainLabel(window, "infolab", 11, false, nimbara::ui::kLabelSlate);
    *ok = makeButton(window, "okButton", QStringLiteral("OK"));
    (*ok)->setDefault(true);
    layout->addWidget(title);
    layout->addWidget(*info);
    layout->addStretch(1);
    layout->addWidget(*ok, 0, Qt::AlignRight);
    return window;
}

}  // namespace

PRUpdateController::PRUpdateController(QObject* parent) : QObject(parent) {
    network_ = new QNetworkAccessManager(this);
    deadline_ = new QTimer(this);
    deadline_->setSingleShot(true);
    connect(deadline_, &QTimer::timeout, this, [this] {
        refuse(QStringLiteral("no answer came within %1 seconds")
                   .arg(QString::number(static_cast<double>(timeout_.count()) / 1000.0, 'g', 3)));
    });
}

PRUpdateController::~PRUpdateController() {
    dropRequest();
}

void PRUpdateController::loadWindow() {
    if (updateWindow_) {
        return;
    }
    updateWindow_.reset(makeWindow("updateWindow", 480, 340));
    QDialog* window = updateWindow_.get();
    auto* outer = new QVBoxLayout(window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* content = new QWidget(window);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(24, 20, 24, 12);
    layout->setSpacing(8);
    newversionlab_ = plainLabel(content, "newversionlab", 13, true);
    currentversionlab_ = plainLabel(content, "currentversionlab", 11, false);
    whatsnewContentView_ = named(new QPlainTextEdit(content), "whatsnewContentView");
    whatsnewContentView_->setReadOnly(true);
    whatsnewContentView_->setFont(nimbara::ui::appFont(11));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    QPushButton* notNow = makeButton(content, "notNowButton", QStringLiteral("Not Now"));
    QPushButton* download = makeButton(content, "downloadButton", QStringLiteral("Download"));
    download->setDefault(true);
    buttons->addWidget(notNow);
    buttons->addWidget(download);
    layout->addWidget(newversionlab_);
    layout->addWidget(currentversionlab_);
    layout->addWidget(whatsnewContentView_, 1);
    layout->addLayout(buttons);
    bottomImageView_ =
        makeImageView(window, "bottomImageView", QStringLiteral("updateainBottomImage.png"), true);
    bottomImageView_->setFixedHeight(50);
    outer->addWidget(content, 1);
    outer->addWidget(bottomImageView_);
    connect(notNow, &QPushButton::clicked, this, [this] { ClickNotNowAction(); });
    connect(download, &QPushButton::clicked, this, [this] { ClickGoDownloadAction(); });

    QPushButton* ok = nullptr;
    noUpdateWindow_.reset(makeMessageWindow(
        "noUpdateWindow", QStringLiteral("You have the newest version."), &noUpdateInfolab_, &ok));
    connect(ok, &QPushButton::clicked, this, [this] { ClickOkAction(); });
    checkFailedWindow_.reset(makeMessageWindow("checkFailedWindow",
                                               QStringLiteral("The check for updates failed."),
                                               &failureInfolab_, &ok));
    connect(ok, &QPushButton::clicked, checkFailedWindow_.get(), &QDialog::hide);
}

void PRUpdateController::hidUpdateWindow() {
    currentVersion_ = QCoreApplication::applicationVersion();
    if (updateWindow_) {
        updateWindow_->hide();
    }
}

bool PRUpdateController::checkRunning() const {
    return !connect_.isNull();
}

void PRUpdateController::setSettings(std::shared_ptr<QSettings> settings) {
    settings_ = std::move(settings);
}

void PRUpdateController::checkServerVersion() {
    dropRequest();
    QString error;
    bool unset = false;
    std::optional<QUrl> address;
    QString settingsFile;
    if (settings_) {
        address = nimbara::app::updateAddress(*settings_, &error, &unset);
        settingsFile = settings_->fileName();
    } else {
        // Read afresh at each check: the address may have been changed since.
        const QSettings user(nimbara::app::userSettingsFile(), QSettings::IniFormat);
        address = nimbara::app::updateAddress(user, &error, &unset);
        settingsFile = user.fileName();
    }
    if (!address) {
        fail(error, unset ? settingsFile : QString());
        return;
    }
    QNetworkRequest request(*address);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Nimbara/%1").arg(currentVersion_));
    receivedData_.clear();
    refusal_.clear();
    QNetworkReply* reply = network_->get(request);
    connect_ = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (reply == connect_ && length.isValid() &&
            length.toLongLong() > nimbara::app::kMaxUpdateAnswerBytes) {
            refuse(QStringLiteral("the update server's answer is larger than %1 bytes")
                       .arg(nimbara::app::kMaxUpdateAnswerBytes));
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        if (reply == connect_) {
            dataArrived();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (reply == connect_) {
            requestFinished();
        }
    });
    deadline_->start(timeout_);
}

void PRUpdateController::dataArrived() {
    receivedData_ += connect_->readAll();
    if (receivedData_.size() > nimbara::app::kMaxUpdateAnswerBytes) {
        refuse(QStringLiteral("the update server's answer is larger than %1 bytes")
                   .arg(nimbara::app::kMaxUpdateAnswerBytes));
    }
}

void PRUpdateController::refuse(const QString& reason) {
    if (!connect_) {
        return;
    }
    refusal_ = reason;
    connect_->abort();  // finishes the request at once, with this reason
}

void PRUpdateController::dropRequest() {
    deadline_->stop();
    if (QNetworkReply* reply = connect_.data()) {
        connect_ = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    receivedData_.clear();
    refusal_.clear();
}

void PRUpdateController::requestFinished() {
    deadline_->stop();
    QNetworkReply* reply = connect_.data();
    connect_ = nullptr;
    reply->deleteLater();
    const QString refusal = std::exchange(refusal_, QString());
    QByteArray body = std::exchange(receivedData_, QByteArray());
    if (!refusal.isEmpty()) {
        fail(refusal);
        return;
    }
    // A server that answered with an error status is named by it; a request that got no answer
    // by the connection's error.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        fail(QStringLiteral("the update server answered with status %1").arg(status.toInt()));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        qCWarning(lcApp, "Connection failed! Error - %s %s", qPrintable(reply->errorString()),
                  qPrintable(reply->url().toString()));
        fail(reply->errorString());
        return;
    }
    body += reply->readAll();
    evaluate(body);
}

void PRUpdateController::evaluate(const QByteArray& body) {
    QString error;
    const auto answer = nimbara::app::parseUpdateAnswer(body, &error);
    if (!answer) {
        fail(error);
        return;
    }
    lastestVersion_ = answer->lastestVersion;
    whatsnewString_ = answer->whatsNew;
    if (!nimbara::app::parseVersion(currentVersion_)) {
        fail(QStringLiteral("the running version \"%1\" is not known").arg(currentVersion_));
        return;
    }
    if (CompareOneString(lastestVersion_, currentVersion_)) {
        qCInfo(lcApp, "Version %s is available; %s runs.", qPrintable(lastestVersion_),
               qPrintable(currentVersion_));
        loadWindow();
        newversionlab_->setText(QStringLiteral("Nimbara %1 is available.").arg(lastestVersion_));
        currentversionlab_->setText(
            QStringLiteral("You are using %1 version. Would you like to download it now?")
                .arg(currentVersion_));
        whatsnewContentView_->setPlainText(nimbara::app::newsText(whatsnewString_));
        present(updateWindow_.get());
        emit checkFinished(Outcome::UpdateAvailable, QString());
        return;
    }
    qCInfo(lcApp, "No newer version than %s (the newest is %s).", qPrintable(currentVersion_),
           qPrintable(lastestVersion_));
    if (checkUpdate_) {
        loadWindow();
        noUpdateInfolab_->setText(
            QStringLiteral("Version %1 is the newest version available.").arg(currentVersion_));
        present(noUpdateWindow_.get());
    }
    emit checkFinished(Outcome::UpToDate, QString());
}

void PRUpdateController::fail(const QString& reason, const QString& unsetIn) {
    qCWarning(lcApp, "The update check failed: %s", qPrintable(reason));
    if (checkUpdate_) {
        loadWindow();
        failureInfolab_->setText(
            nimbara::app::updateFailureText(reason, !unsetIn.isEmpty(), unsetIn));
        present(checkFailedWindow_.get());
    }
    emit checkFinished(Outcome::Failed, reason);
}

void PRUpdateController::present(QDialog* window) {
    window->adjustSize();  // a long reason takes more lines
    window->show();
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect frame = window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->raise();
    window->activateWindow();
}

bool PRUpdateController::CompareOneString(const QString& one, const QString& withTwoString) {
    return nimbara::app::isNewerVersion(one, withTwoString);
}

void PRUpdateController::ClickNotNowAction(QObject* /*sender*/) {
    if (updateWindow_) {
        updateWindow_->hide();
    }
}

void PRUpdateController::ClickGoDownloadAction(QObject* /*sender*/) {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(nimbara::app::kDownloadPage)));
}

void PRUpdateController::ClickOkAction(QObject* /*sender*/) {
    if (noUpdateWindow_) {
        noUpdateWindow_->hide();
    }
}
