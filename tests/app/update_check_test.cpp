// The update check: versions compared part by part, the untrusted answer read and refused, and
// a whole check against a local server that answers in every way a real one might.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>
#include <memory>

#include "app/core/update_check.h"
#include "app/update_check.h"
#include "app_test_support.h"
#include "delegate_fixture.h"
#include "platform/plist_value.h"
#include "test_support.h"

namespace {

using nimbara::PlistValue;
using Outcome = PRUpdateController::Outcome;

std::string versionList(PlistValue version, PlistValue news = PlistValue("Faster.*Smaller.")) {
    PlistValue list = PlistValue::dict();
    list.set("lastestVersion", std::move(version));
    if (!news.isNull()) {
        list.set("WhatsNew", std::move(news));
    }
    return list.toXml();
}

TEST(UpdateCheck, VersionsCompareByTheirNumbersPartByPart) {
    struct Row {
        const char* candidate;
        const char* running;
        bool newer;
    };
    const Row rows[] = {
        {"1.10", "1.9", true},
        {"1.9", "1.10", false},
        {"1.2", "1.1.5", true},
        {"1.1.5", "1.2", false},
        {"1.3.0", "1.2.9", true},
        {"2.0", "2.0", false},
        {"1.2.0", "1.2", false},
        {"1.2", "1.2.0", false},
        {"1.2.0.1", "1.2", true},
        {"10.0", "9.9.9", true},
        {"1.0.9", "1.1", false},
        {"01.2", "1.1", true},
        // Not versions: never newer, and nothing is newer than an unknown running version.
        {"1.2beta", "1.1", false},
        {"1.2.", "1.1", false},
        {"v2", "1.0", false},
        {"", "1.0", false},
        {"99999999999", "1.0", false},
        {"2.0", "", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PRUpdateController::CompareOneString(QString::fromLatin1(row.candidate),
                                                       QString::fromLatin1(row.running)),
                  row.newer)
            << row.candidate << " against " << row.running;
    }
}

TEST(UpdateCheck, AnswersAreReadOnlyWhenEveryFieldHasItsType) {
    PlistValue deep("1.0");
    for (int i = 0; i < 6; ++i) {
        deep = PlistValue(PlistValue::Array{deep});
    }
    PlistValue topArray = PlistValue::array();
    topArray.append(PlistValue("2.0"));
    const auto binary = PlistValue::parse(versionList("3.1"))->toBinary();
    struct Row {
        const char* name;
        std::string body;
        const char* version;  // null: refused
    };
    const Row rows[] = {
        {"xml", versionList("2.0.1"), "2.0.1"},
        {"binary", std::string(binary.begin(), binary.end()), "3.1"},
        {"no news", versionList("2.0", PlistValue()), "2.0"},
        {"version padded", versionList(" 2.0\n"), "2.0"},
        {"empty", "", nullptr},
        {"not a list", "<html>gone</html>", nullptr},
        {"array", topArray.toXml(), nullptr},
        {"no version", PlistValue::dict().toXml(), nullptr},
        {"version a number", versionList(PlistValue(2)), nullptr},
        {"version not one", versionList("soon"), nullptr},
        {"news not a text", versionList("2.0", PlistValue::array()), nullptr},
        {"nested deep", versionList("2.0", deep), nullptr},
        {"oversized", versionList("2.0", PlistValue(std::string(70'000, 'x'))), nullptr},
    };
    for (const Row& row : rows) {
        QString error;
        const auto answer =
            nimbara::app::parseUpdateAnswer(QByteArray::fromStdString(row.body), &error);
        if (row.version == nullptr) {
            EXPECT_FALSE(answer) << row.name;
            EXPECT_FALSE(error.isEmpty()) << row.name;
        } else {
            ASSERT_TRUE(answer) << row.name << ": " << error.toStdString();
            EXPECT_EQ(answer->lastestVersion, QString::fromLatin1(row.version)) << row.name;
        }
    }
}

// Answers each request in one way: a status and a body, a body without a length that never
// ends, a body trickled a byte at a time, silence, or no server at all.
class UpdateServer : public QObject {
  public:
    enum class Way { Answer, Endless, Trickle, Silent, Refuse };

    UpdateServer(Way way, QByteArray body, int status = 200)
        : way_(way), body_(std::move(body)), status_(status) {
        server_.listen(QHostAddress::LocalHost);
        port_ = server_.serverPort();
        if (way_ == Way::Refuse) {
            server_.close();
        }
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            }
        });
    }

    QString address() const {
        return QStringLiteral("http://127.0.0.1:%1/product/NimbaraVersion.plist").arg(port_);
    }

  private:
    void serve(QTcpSocket* socket) {
        request_ += socket->readAll();
        if (!request_.contains("\r\n\r\n") || way_ == Way::Silent) {
            return;
        }
        QByteArray head = "HTTP/1.1 " + QByteArray::number(status_) + " Answer\r\n";
        if (way_ != Way::Endless) {
            head += "Content-Length: " + QByteArray::number(body_.size()) + "\r\n";
        }
        socket->write(head + "Connection: close\r\n\r\n");
        if (way_ == Way::Trickle) {
            auto* timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
            timer->start(20);
            return;
        }
        socket->write(body_);
        if (way_ != Way::Endless) {
            socket->disconnectFromHost();
        }
    }

    QTcpServer server_;
    quint16 port_ = 0;
    Way way_;
    QByteArray body_;
    int status_;
    QByteArray request_;
};

TEST(UpdateCheck, ACheckAgainstAServerShowsWhatItFoundOrThatItFailed) {
    nimbara::test::ensureApplication();
    using Way = UpdateServer::Way;
    const QByteArray newer = QByteArray::fromStdString(versionList("1.10"));
    const QByteArray same = QByteArray::fromStdString(versionList("1.9.0"));
    const QByteArray oversized(200'000, 'x');
    enum Shown { None, Update, NoUpdate, Failure };
    struct Row {
        const char* name;
        Way way;
        QByteArray body;
        int status;
        bool asked;  // by the user, not at launch
        Outcome outcome;
        Shown shown;
        const char* reason = "";  // in the failure's text
    };
    const Row rows[] = {
        {"newer at launch", Way::Answer, newer, 200, false, Outcome::UpdateAvailable, Update},
        {"same, asked", Way::Answer, same, 200, true, Outcome::UpToDate, NoUpdate},
        {"same at launch", Way::Answer, same, 200, false, Outcome::UpToDate, None},
        {"malformed, asked", Way::Answer, "<plist><dict>", 200, true, Outcome::Failed, Failure},
        {"malformed at launch", Way::Answer, "<plist>", 200, false, Outcome::Failed, None},
        {"not found", Way::Answer, newer, 404, true, Outcome::Failed, Failure, "404"},
        {"oversized", Way::Answer, oversized, 200, true, Outcome::Failed, Failure, "larger"},
        {"oversized, endless", Way::Endless, oversized, 200, true, Outcome::Failed, Failure,
         "larger"},
        {"slow", Way::Trickle, QByteArray(1000, 'x'), 200, true, Outcome::Failed, Failure,
         "within"},
        {"silent", Way::Silent, {}, 200, true, Outcome::Failed, Failure, "within"},
        {"no server", Way::Refuse, {}, 200, true, Outcome::Failed, Failure, "refused"},
    };
    nimbara::test::TempDir tmp;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UpdateServer server(row.way, row.body, row.status);
        auto settings = std::make_shared<QSettings>(
            QString::fromStdString((tmp / "settings.ini").string()), QSettings::IniFormat);
        settings->setValue(QLatin1String(nimbara::app::kUpdateAddressKey), server.address());
        PRUpdateController check;
        check.setSettings(settings);
        check.setTimeout(std::chrono::milliseconds(400));
        check.loadWindow();
        check.setCurrentVersion(QStringLiteral("1.9"));
        check.setCheckUpdate(row.asked);
        QSignalSpy finished(&check, &PRUpdateController::checkFinished);
        check.checkServerVersion();
        ASSERT_TRUE(finished.wait(5000));
        EXPECT_EQ(finished.count(), 1);
        EXPECT_EQ(finished.at(0).at(0).value<Outcome>(), row.outcome)
            << finished.at(0).at(1).toString().toStdString();
        EXPECT_TRUE(finished.at(0).at(1).toString().contains(QLatin1String(row.reason)));
        EXPECT_FALSE(check.checkRunning());
        EXPECT_EQ(check.updateWindow()->isVisible(), row.shown == Update);
        EXPECT_EQ(check.noUpdateWindow()->isVisible(), row.shown == NoUpdate);
        EXPECT_EQ(check.checkFailedWindow()->isVisible(), row.shown == Failure);
        if (row.shown == Failure) {  // a server that was asked: trying again may help
            EXPECT_TRUE(check.failureInfolab()->text().endsWith(QLatin1String("Try again later.")));
        }
        if (row.shown == Update) {
            EXPECT_EQ(check.newversionlab()->text(), QStringLiteral("Nimbara 1.10 is available."));
            EXPECT_EQ(
                check.currentversionlab()->text(),
                QStringLiteral("You are using 1.9 version. Would you like to download it now?"));
            EXPECT_EQ(check.whatsnewContentView()->toPlainText(),
                      QStringLiteral("Faster.\nSmaller."));
        }
    }
}

// No address, or one that is not fetched, makes no request; with no address set the window says
// where one is set, since trying again can't help.
TEST(UpdateCheck, AddressesOtherThanHttpAndNoAddressAreNeverFetched) {
    nimbara::test::ensureApplication();
    nimbara::test::TempDir tmp;
    const QString file = QString::fromStdString((tmp / "settings.ini").string());
    const QString unsetText =
        "No update server is set, so there is nowhere to look for a newer version. An update "
        "server is set as UpdateCheck/Address in the settings file " +
        file + ".";
    const struct {
        const char* address;  // null: the key is not there
        bool unset;
    } rows[] = {{"file:///etc/passwd", false},
                {"ftp://example.com/v.plist", false},
                {"http://", false},
                {"", true},
                {"   ", true},
                {nullptr, true}};
    for (const auto& row : rows) {
        const std::string shown = row.address ? row.address : "(none)";
        auto settings = std::make_shared<QSettings>(file, QSettings::IniFormat);
        settings->remove(QLatin1String(nimbara::app::kUpdateAddressKey));
        if (row.address) {
            settings->setValue(QLatin1String(nimbara::app::kUpdateAddressKey),
                               QString::fromLatin1(row.address));
        }
        PRUpdateController check;
        check.setSettings(settings);
        check.setCheckUpdate(true);
        QSignalSpy finished(&check, &PRUpdateController::checkFinished);
        check.checkServerVersion();
        EXPECT_FALSE(check.checkRunning()) << shown;
        ASSERT_EQ(finished.count(), 1) << shown;
        EXPECT_EQ(finished.at(0).at(0).value<Outcome>(), Outcome::Failed) << shown;
        EXPECT_TRUE(check.checkFailedWindow()->isVisible()) << shown;
        const QString text = check.failureInfolab()->text();
        EXPECT_EQ(text == unsetText, row.unset) << shown << ": " << text.toStdString();
        EXPECT_EQ(text.endsWith(QLatin1String(" Try again later.")), !row.unset) << shown;
    }
}

class UpdateCheckMenu : public nimbara::test::DelegateTest {};

TEST_F(UpdateCheckMenu, CheckForUpdatesRunsACheckThatReportsEveryOutcome) {
    PRUpdateController* check = hub().updateController();
    ASSERT_NE(check, nullptr);
    EXPECT_FALSE(check->checkUpdate());  // the launch check is silent
    QSignalSpy finished(check, &PRUpdateController::checkFinished);
    ui().checkUpdateItem->trigger();
    EXPECT_TRUE(check->checkUpdate());
    EXPECT_TRUE(check->checkRunning() || finished.count() == 1);
}

}  // namespace
