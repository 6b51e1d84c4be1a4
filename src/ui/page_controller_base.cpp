#include "ui/page_controller_base.h"

#include <QLabel>
#include <QLayout>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <QWidget>

#include "device/pr_device_notify.h"
#include "platform/main_thread.h"
#include "ui/fonts.h"
#include "ui/page_call_log.h"

namespace nimbara::ui {

PageControllerBase::PageControllerBase(PageHost& host, const char* className,
                                       const QString& pageTitle, QObject* parent)
    : QObject(parent), host_(host), className_(className), pageTitle_(pageTitle) {}

PageControllerBase::~PageControllerBase() {
    // A view that was never placed belongs to the controller; a placed one to its container.
    if (root_ && root_->parent() == nullptr) {
        delete root_.data();
    }
}

void PageControllerBase::showPageView(QWidget* pageView) {
    QWidget* root = view();
    pageView->setParent(root);
    stack_->addWidget(pageView);
    stack_->setCurrentWidget(pageView);
}

void PageControllerBase::watchDeviceDetach() {
    QPointer<PageControllerBase> self(this);
    detachObserver_.add(NotificationCenter::defaultCenter().addObserver(
        amd::kDeviceDisConnectNotification, [self](const Notification& n) {
            const int index = n.objectAs<int>(-1);
            postToMain([self, index] {
                if (self) {
                    self->deviceDetached(index);
                }
            });
        }));
}

void PageControllerBase::buildViews() {
    root_ = new QWidget();
    root_->setObjectName(QStringLiteral("%1View").arg(QString::fromLatin1(className_)));
    stack_ = new QStackedLayout(root_);
    stack_->setContentsMargins(0, 0, 0, 0);

    notAvailable_ = new QWidget(root_);
    notAvailable_->setObjectName(QStringLiteral("notAvailableView"));
    auto* layout = new QVBoxLayout(notAvailable_);
    layout->addStretch(1);
    auto* title = new QLabel(pageTitle_, notAvailable_);
    title->setObjectName(QStringLiteral("notAvailableTitlelab"));
    title->setAlignment(Qt::AlignCenter);
    title->setFont(appFont(16, true));
    layout->addWidget(title);
    auto* message = new QLabel(QStringLiteral("This page is not available yet."), notAvailable_);
    message->setObjectName(QStringLiteral("notAvailableTextlab"));
    message->setAlignment(Qt::AlignCenter);
    message->setFont(appFont(12));
    layout->addWidget(message);
    notesLayout_ = new QVBoxLayout();
    layout->addLayout(notesLayout_);
    layout->addStretch(1);
    stack_->addWidget(notAvailable_);
}

QWidget* PageControllerBase::view() {
    if (!root_) {
        buildViews();
    }
    return root_;
}

QWidget* PageControllerBase::container() const {
    return container_;
}

QWidget* PageControllerBase::notAvailableView() {
    view();
    return notAvailable_;
}

bool PageControllerBase::isShowingNotAvailable() const {
    return root_ && stack_->currentWidget() == notAvailable_;
}

void PageControllerBase::showNotAvailable() {
    view();
    stack_->setCurrentWidget(notAvailable_);
}

QLabel* PageControllerBase::addNotAvailableNote(const QString& text) {
    view();
    auto* note = new QLabel(text, notAvailable_);
    note->setAlignment(Qt::AlignCenter);
    note->setEnabled(false);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notesLayout_->addWidget(note);
    return note;
}

void PageControllerBase::showView(QWidget* container) {
    record(QStringLiteral("showView(%1)").arg(argument(container)));
    if (container == nullptr) {
        return;
    }
    placeView(container);
    viewShown();
}

void PageControllerBase::placeView(QWidget* container) {
    if (container == nullptr) {
        return;
    }
    QWidget* root = view();
    QLayout* layout = container->layout();
    const bool placed =
        root->parentWidget() == container && layout != nullptr && layout->indexOf(root) >= 0;
    if (!placed) {
        if (QWidget* previous = root->parentWidget()) {
            if (QLayout* previousLayout = previous->layout()) {
                previousLayout->removeWidget(root);
            }
        }
        if (layout == nullptr) {
            layout = new QVBoxLayout(container);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setSpacing(0);
        }
        root->setParent(container);
        layout->addWidget(root);
    }
    container_ = container;
    root->show();
}

void PageControllerBase::record(const QString& call) const {
    PageCallLog::record(std::string(className_) + "::" + call.toStdString());
}

QString PageControllerBase::argument(int value) {
    return QString::number(value);
}

QString PageControllerBase::argument(const QString& text) {
    return QStringLiteral("\"%1\"").arg(text);
}

QString PageControllerBase::argument(const QObject* object) {
    if (object == nullptr) {
        return QStringLiteral("nullptr");
    }
    return object->objectName().isEmpty() ? QString::fromLatin1(object->metaObject()->className())
                                          : object->objectName();
}

}  // namespace nimbara::ui
