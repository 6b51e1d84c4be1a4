#include "ui/notification_buttons.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

// --- PRButton ---

void PRButton::enterEvent(QEnterEvent* event) {
    ImageButton::enterEvent(event);
    post("PRbuttonMouseEntered");
}

void PRButton::leaveEvent(QEvent* event) {
    ImageButton::leaveEvent(event);
    post("PRbuttonMouseExited");
}

// --- PRNotifyingButton ---

PRNotifyingButton::PRNotifyingButton(QWidget* parent) : ImageButton(parent) {
    setFocusPolicy(Qt::NoFocus);
}

PRNotifyingButton::PRNotifyingButton(const QString& title, QWidget* parent)
    : ImageButton(title, parent) {
    setFocusPolicy(Qt::NoFocus);
}

void PRNotifyingButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton) {
        handleMouseDown();
    }
}

void PRNotifyingButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void PRNotifyingButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click arrives as press, release, double-click, release: the second press of it
    // is a mouse-down as well.
    mousePressEvent(event);
}

void PRNotifyingButton::keyPressEvent(QKeyEvent* event) {
    event->ignore();
}

// --- PRTableButton ---

void PRTableButton::enterEvent(QEnterEvent* event) {
    PRNotifyingButton::enterEvent(event);
    post("MyTablebuttonMouseEnter");
}

void PRTableButton::leaveEvent(QEvent* event) {
    PRNotifyingButton::leaveEvent(event);
    post("MyTablebuttonMouseExit");
}

void PRTableButton::handleMouseDown() {
    post("MyTablebuttonMouseDown");
}

// --- PRDownStateButton ---

PRDownStateButton::PRDownStateButton(const char* enteredName, const char* exitedName,
                                     const char* downName, QWidget* parent)
    : PRNotifyingButton(parent),
      enteredName_(enteredName),
      exitedName_(exitedName),
      downName_(downName) {}

void PRDownStateButton::enterEvent(QEnterEvent* event) {
    PRNotifyingButton::enterEvent(event);
    if (!btnDown_) {
        post(enteredName_);
    }
}

void PRDownStateButton::leaveEvent(QEvent* event) {
    PRNotifyingButton::leaveEvent(event);
    if (!btnDown_) {
        post(exitedName_);
    }
}

void PRDownStateButton::handleMouseDown() {
    btnDown_ = true;
    post(downName_);
}

PRBannerButton::PRBannerButton(QWidget* parent)
    : PRDownStateButton("PRBannerButtonMouseEntered", "PRBannerButtonMouseExited",
                        "PRBannerButtonMouseDown", parent) {}

PRPrivacyButton::PRPrivacyButton(QWidget* parent)
    : PRDownStateButton("PRPrivacyButtonEntered", "PRPrivacyButtonExited",
                        "PRPrivacyButtonMouseDown", parent) {}

// --- Mouse-down only ---

PRMouseDownButton::PRMouseDownButton(const char* downName, QWidget* parent)
    : PRNotifyingButton(parent), downName_(downName) {}

void PRMouseDownButton::handleMouseDown() {
    post(downName_);
}

PRScanButton::PRScanButton(QWidget* parent) : PRMouseDownButton("MyScanbuttonMouseDown", parent) {}

PRClosedButton::PRClosedButton(QWidget* parent)
    : PRMouseDownButton("MyClosebuttonMouseDown", parent) {}

PROneCopyButton::PROneCopyButton(QWidget* parent)
    : PRMouseDownButton("MyOneCopyButtonMouseDown", parent) {}

PRAppCleanButton::PRAppCleanButton(QWidget* parent)
    : PRMouseDownButton("MyAppCleanbuttonMouseDown", parent) {}

PRDiskManagButton::PRDiskManagButton(QWidget* parent)
    : PRMouseDownButton("MyDiskManagebuttonMouseDown", parent) {}

PRLargeFileButton::PRLargeFileButton(QWidget* parent)
    : PRMouseDownButton("MyLargeFileButtonMouseDown", parent) {}

// --- PRLinkButton ---

PRLinkButton::PRLinkButton(QWidget* parent) : PRMouseDownButton("PRLinkButtonMouseDown", parent) {}

void PRLinkButton::enterEvent(QEnterEvent* event) {
    PRMouseDownButton::enterEvent(event);
    setCursor(Qt::PointingHandCursor);
}

void PRLinkButton::leaveEvent(QEvent* event) {
    PRMouseDownButton::leaveEvent(event);
    setCursor(Qt::ArrowCursor);
}

// --- PRRejectButton ---

PRRejectButton::PRRejectButton(QWidget* parent) : PRNotifyingButton(parent) {
    setImage("reject.png");
}

void PRRejectButton::enterEvent(QEnterEvent* event) {
    PRNotifyingButton::enterEvent(event);
    setCursor(Qt::PointingHandCursor);
    setImage("reject_down.png");
    post("PRRejectButtonMouseEnter");
}

void PRRejectButton::leaveEvent(QEvent* event) {
    PRNotifyingButton::leaveEvent(event);
    setImage("reject.png");
    setCursor(Qt::ArrowCursor);
    post("PRRejectButtonMouseExit");
}

void PRRejectButton::handleMouseDown() {
    setImage("reject_down.png");
    // The observer may remove the row (and this button) while handling the post.
    const QPointer<PRRejectButton> self(this);
    post("PRRejectButtonMouseDown");
    if (self) {
        setImage("reject.png");
    }
}
