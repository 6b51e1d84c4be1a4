// The result page's bar under the records, its link buttons with their hover, the feedback
// window and the way home.
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

#include "browser/pages/pr_result_view_controller.h"
#include "ui/alerts.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"

namespace {

const char* const kFacebookPage = "https://nimbara.example/facebook/";
const char* const kTwitterPage = "https://nimbara.example/twitter/";
const char* const kSupportPage = "https://nimbara.example/support/";
const char* const kFeedbackAddress = "feedback@nimbara.example";
const char* const kFeedbackPrompt = "Provide any suggestions or problems to us.";

void openAddress(const char* address) {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(address)));
}

// A link-looking button: its title underlined while the mouse is over it.
PRButton* linkButton(const char* name, const char* title, QWidget* parent) {
    auto* button = new PRButton(QString::fromLatin1(title), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFlat(true);
    button->setFont(nimbara::ui::appFont(11));
    button->setCursor(Qt::ArrowCursor);
    return button;
}

void setUnderlined(QWidget* button, bool underlined) {
    QFont font = nimbara::ui::appFont(11);
    font.setUnderline(underlined);
    button->setFont(font);
    button->setCursor(underlined ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

}  // namespace

QWidget* PRResultViewController::buildBottomBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    bar->setObjectName(QStringLiteral("resultBottomView"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);

    checkBtn = new QCheckBox(QStringLiteral("Only dispaly deleted files"), bar);
    checkBtn->setObjectName(QStringLiteral("checkBtn"));
    checkBtn->setFont(nimbara::ui::appFont(11));
    QPalette orange = checkBtn->palette();
    orange.setColor(QPalette::WindowText, QColor(217, 81, 30));
    checkBtn->setPalette(orange);
    connect(checkBtn, &QCheckBox::clicked, this, [this] { actCheck(checkBtn); });
    row->addWidget(checkBtn);

    selectAllBtn = new QCheckBox(QStringLiteral("Select All"), bar);
    selectAllBtn->setObjectName(QStringLiteral("selectAllBtn"));
    selectAllBtn->setFont(nimbara::ui::appFont(11));
    connect(selectAllBtn, &QCheckBox::clicked, this, [this] { ClickSelectAll(selectAllBtn); });
    row->addWidget(selectAllBtn);

    selecteFilelab = new QLabel(bar);
    selecteFilelab->setObjectName(QStringLiteral("selecteFilelab"));
    selecteFilelab->setFont(nimbara::ui::appFont(11));
    selecteFilelab->hide();
    row->addWidget(selecteFilelab);
    row->addStretch(1);

    homeBtn = new QPushButton(QStringLiteral("Home"), bar);
    homeBtn->setObjectName(QStringLiteral("homeBtn"));
    connect(homeBtn, &QPushButton::clicked, this, [this] { actHome(homeBtn); });
    row->addWidget(homeBtn);
    saveBtn = new QPushButton(QStringLiteral("Recover"), bar);
    saveBtn->setObjectName(QStringLiteral("saveBtn"));
    saveBtn->setDefault(true);
    connect(saveBtn, &QPushButton::clicked, this, [this] { actRecovery(saveBtn); });
    row->addWidget(saveBtn);

    return bar;
}

// The link buttons and "Support", at the end of `row`.
void PRResultViewController::addLinkButtons(QWidget* parent, QHBoxLayout* row) {
    facebookBtn = linkButton("facebookBtn", "Facebook", parent);
    twitterBtn = linkButton("twitterBtn", "Twitter", parent);
    feedBackBtn = linkButton("feedBackBtn", "Feedback", parent);
    connect(facebookBtn, &QPushButton::clicked, this, [this] { clickFacebook(facebookBtn); });
    connect(twitterBtn, &QPushButton::clicked, this, [this] { clickTwitter(twitterBtn); });
    connect(feedBackBtn, &QPushButton::clicked, this, [this] { clickFeedBack(feedBackBtn); });
    supportBtn = new QPushButton(parent);
    supportBtn->setObjectName(QStringLiteral("supportBtn"));
    supportBtn->setFlat(true);
    supportBtn->setCursor(Qt::PointingHandCursor);
    supportBtn->setText(QStringLiteral("Support"));
    QFont link = nimbara::ui::appFont(11);
    link.setUnderline(true);
    supportBtn->setFont(link);
    QPalette blue = supportBtn->palette();
    blue.setColor(QPalette::ButtonText, QColor(0, 102, 204));
    supportBtn->setPalette(blue);
    connect(supportBtn, &QPushButton::clicked, this, [this] { clickSupport(supportBtn); });
    for (QWidget* button :
         {static_cast<QWidget*>(facebookBtn), static_cast<QWidget*>(twitterBtn),
          static_cast<QWidget*>(feedBackBtn), static_cast<QWidget*>(supportBtn)}) {
        row->addWidget(button);
    }
    // The link buttons underline their titles while the mouse is over them.
    auto& center = nimbara::NotificationCenter::defaultCenter();
    linkObservers_.add(center.addObserver(
        "PRbuttonMouseEntered", [this](const nimbara::Notification& n) { linkHover(n, true); }));
    linkObservers_.add(center.addObserver(
        "PRbuttonMouseExited", [this](const nimbara::Notification& n) { linkHover(n, false); }));
}

void PRResultViewController::linkHover(const nimbara::Notification& notification, bool entered) {
    auto* button = notification.objectAs<QObject*>(nullptr);
    for (PRButton* link : {facebookBtn, twitterBtn, feedBackBtn}) {
        if (link != nullptr && button == link) {
            setUnderlined(link, entered);
        }
    }
}

void PRResultViewController::clickFacebook(QObject*) {
    openAddress(kFacebookPage);
}

void PRResultViewController::clickTwitter(QObject*) {
    openAddress(kTwitterPage);
}

void PRResultViewController::clickSupport(QObject*) {
    openAddress(kSupportPage);
}

void PRResultViewController::buildFeedbackWindow() {
    feedbackWindow = new QDialog(view()->window());
    feedbackWindow->setObjectName(QStringLiteral("feedbackWindow"));
    feedbackWindow->setWindowTitle(QStringLiteral("Feedback"));
    auto* layout = new QVBoxLayout(feedbackWindow);
    auto* emailCaption = new QLabel(QStringLiteral("Your e-mail:"), feedbackWindow);
    emailCaption->setFont(nimbara::ui::appFont(11));
    layout->addWidget(emailCaption);
    feedbackEmailVaule = new QLineEdit(feedbackWindow);
    feedbackEmailVaule->setObjectName(QStringLiteral("feedbackEmailVaule"));
    layout->addWidget(feedbackEmailVaule);
    feedbackView = new QPlainTextEdit(feedbackWindow);
    feedbackView->setObjectName(QStringLiteral("feedbackView"));
    feedbackView->setMinimumSize(380, 160);
    layout->addWidget(feedbackView, 1);
    auto* buttons = new QDialogButtonBox(feedbackWindow);
    auto* send = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
    send->setObjectName(QStringLiteral("sendFeedbackBtn"));
    auto* dontSend = buttons->addButton(QStringLiteral("Don't Send"), QDialogButtonBox::RejectRole);
    dontSend->setObjectName(QStringLiteral("dontSendFeedbackBtn"));
    connect(send, &QPushButton::clicked, this, [this] { ClickSendFeedBack(nullptr); });
    connect(dontSend, &QPushButton::clicked, this, [this] { ClickDontSendFeedBack(nullptr); });
    layout->addWidget(buttons);
}

void PRResultViewController::clickFeedBack(QObject*) {
    if (!feedbackWindow) {
        buildFeedbackWindow();
    }
    QFont font = nimbara::ui::appFont(13);
    feedbackView->setFont(font);
    QPalette gray = feedbackView->palette();
    gray.setColor(QPalette::PlaceholderText, Qt::gray);
    feedbackView->setPalette(gray);
    // The prompt shows in the empty field and never becomes part of what is sent.
    feedbackView->clear();
    feedbackView->setPlaceholderText(QString::fromLatin1(kFeedbackPrompt));
    feedbackEmailVaule->clear();
    if (!feedbackWindow->isVisible()) {
        feedbackWindow->show();
        const QRect parent = view()->window()->geometry();
        feedbackWindow->move(parent.center() - feedbackWindow->rect().center());
    }
}

void PRResultViewController::ClickDontSendFeedBack(QObject*) {
    if (feedbackWindow) {
        feedbackWindow->hide();
    }
}

QString PRResultViewController::getFeedBackInfo() const {
    return QStringLiteral("RegEmail: %1\nSuggestion:%2")
        .arg(feedbackEmailVaule ? feedbackEmailVaule->text() : QString(),
             feedbackView ? feedbackView->toPlainText() : QString());
}

void PRResultViewController::ClickSendFeedBack(QObject*) {
    QUrl mail(QStringLiteral("mailto:%1").arg(QString::fromLatin1(kFeedbackAddress)));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), QStringLiteral("Nimbara feedback"));
    query.addQueryItem(QStringLiteral("body"), getFeedBackInfo());
    mail.setQuery(query);
    QDesktopServices::openUrl(mail);
    ClickDontSendFeedBack(nullptr);
}

void PRResultViewController::actHome(QObject*) {
    nimbara::Alerts::Question question;
    question.message = QStringLiteral(
        "Are you sure you want to go back to Home? If Back, the scanning results will not be "
        "saved.");
    question.defaultButton = QStringLiteral(" Back ");
    question.alternateButton = QStringLiteral("Cancel");
    if (nimbara::Alerts::ask(view()->window(), question) != nimbara::Alerts::Answer::Default) {
        return;
    }
    retireScan();
    releaseUIMemory();
    scannedNode_.reset();
    selectedFilesNum_ = 0;
    currentSelect_ = 0;
    scanFinished_ = true;
    updateSelection(false);
    host().navigateTo(nimbara::ui::PageHost::Destination::BackupBrowser);
}
