// The menu-bar item and the device popover of the hub: an icon in the system tray where the
// desktop has one, a button on the main window's title strip everywhere, and the popover both
// open. The popover is a frameless pop-up window that closes when the user clicks elsewhere;
// dragged off by the strip under its rows, its content moves into a window of its own.
#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

#include <atomic>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "device/pri_device_node.h"
#include "platform/log_categories.h"
#include "ui/device_popover.h"
#include "ui/image_button.h"
#include "ui/named_image.h"

namespace {

// Said once a run, however many hubs are made.
std::atomic<bool> g_noTrayLogged{false};

// Moves `content` into `host`'s layout (making one when it has none).
void placeInto(QWidget* host, QWidget* content) {
    QLayout* layout = host->layout();
    if (layout == nullptr) {
        layout = new QVBoxLayout(host);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    if (QWidget* previous = content->parentWidget()) {
        if (QLayout* previousLayout = previous->layout()) {
            previousLayout->removeWidget(content);
        }
    }
    content->setParent(host);
    layout->addWidget(content);
    content->show();
}

// The global rectangle the popover opens at for `sender`.
QRect anchorFor(QObject* sender) {
    if (auto* widget = qobject_cast<QWidget*>(sender)) {
        return {widget->mapToGlobal(QPoint(0, 0)), widget->size()};
    }
    if (auto* tray = qobject_cast<QSystemTrayIcon*>(sender)) {
        const QRect geometry = tray->geometry();
        if (geometry.isValid() && !geometry.isEmpty()) {
            return geometry;
        }
    }
    return {QCursor::pos(), QSize(1, 1)};
}

}  // namespace

// What the hub keeps of the item and the popover.
struct QuennicAppDelegate::StateBanner : QObject {
    // The popover's view of the hub.
    struct Host final : nimbara::ui::DevicePopoverHost {
        explicit Host(QuennicAppDelegate& hub) : hub(hub) {}
        std::vector<std::shared_ptr<PRiDeviceNode>>& getDeviceArray() override {
            return hub.getDeviceArray();
        }
        int currentDeviceIndex() const override {
            const std::shared_ptr<PRiDeviceNode> node = hub.currentIDevicenode();
            return node ? node->deviceIndex() : -1;
        }
        void ChangeToAnotherDevice(int deviceIndex) override {
            hub.ChangeToAnotherDevice(deviceIndex);
        }
        void RemoveTheDeviceWithIndex(int deviceIndex) override {
            hub.RemoveTheDeviceWithIndex(deviceIndex);
            // The open popover follows the shorter list; with none left it closes.
            if (hub.getDeviceArray().empty()) {
                hub.popoverDidClose();
            } else if (hub.stateBanner_) {
                hub.stateBanner_->sizeForDevices();
            }
        }
        QuennicAppDelegate& hub;
    };

    explicit StateBanner(QuennicAppDelegate& owner) : hub(owner), host(owner) {
        popAttachWindow = std::make_unique<QWidget>(nullptr, Qt::Tool);
        popAttachWindow->setObjectName(QStringLiteral("popAttachWindow"));
        popAttachWindow->setWindowTitle(QStringLiteral("Devices"));
        controller = new PPopoverviewConterller(host);
        placeInto(popAttachWindow.get(), controller);
    }

    ~StateBanner() override {
        if (popover) {
            popover->removeEventFilter(this);
            if (controller->parentWidget() == popover) {
                placeInto(popAttachWindow.get(), controller);
            }
            delete popover.data();
        }
        delete statusItem;
        popAttachWindow.reset();  // and the controller with it
    }

    // The detached window and the view sized by the number of devices.
    void sizeForDevices() {
        const std::size_t count = hub.getDeviceArray().size();
        if (count <= 1) {
            controller->setOneTableViewFrame();
        } else if (count == 2) {
            controller->setTwoTableViewFrame();
        } else {
            controller->setThreeTableViewFrame();
        }
        // The view is the window's content: the window system adds its title bar.
        popAttachWindow->setFixedSize(controller->size());
        if (popover) {
            popover->setFixedSize(controller->size());
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == popover && event->type() == QEvent::Hide) {
            hub.popoverDidClose();
        }
        return QObject::eventFilter(watched, event);
    }

    // The popover was dragged off: its view goes on in the detached window at `globalPos`.
    void detach(const QPoint& globalPos) {
        if (!popover || controller->parentWidget() != popover) {
            return;
        }
        placeInto(popAttachWindow.get(), controller);
        controller->setDetachable(false);
        popAttachWindow->setFixedSize(controller->size());
        popAttachWindow->move(globalPos - QPoint(controller->width() / 2, controller->height()));
        hub.popoverDidClose();
        popAttachWindow->show();
        popAttachWindow->raise();
        popAttachWindow->activateWindow();
    }

    QuennicAppDelegate& hub;
    Host host;
    std::unique_ptr<QWidget> popAttachWindow;
    PPopoverviewConterller* controller = nullptr;  // in popAttachWindow or in the popover
    QPointer<QWidget> popover;
    QSystemTrayIcon* statusItem = nullptr;
};

void QuennicAppDelegate::initStateBannerView() {
    if (stateBanner_) {
        return;
    }
    stateBanner_ = std::make_shared<StateBanner>(*this);
    StateBanner& banner = *stateBanner_;
    connect(
        banner.controller, &PPopoverviewConterller::dragOffRequested, this,
        [this](const QPoint& globalPos) {
            if (stateBanner_) {
                stateBanner_->detach(globalPos);
            }
        },
        Qt::QueuedConnection);  // not inside the view's own mouse event

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        banner.statusItem =
            new QSystemTrayIcon(nimbara::ui::namedIcon(QStringLiteral("bannerIcon.png")));
        banner.statusItem->setObjectName(QStringLiteral("statusItem"));
        banner.statusItem->setToolTip(QStringLiteral("Nimbara: attached devices"));
        QSystemTrayIcon* item = banner.statusItem;
        connect(
            item, &QSystemTrayIcon::activated, this,
            [this, item](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    ClickStateBanner(item);
                }
            });
        item->show();
    } else if (!g_noTrayLogged.exchange(true)) {
        qCInfo(lcApp,
               "This desktop has no system tray: the device popover opens from the button "
               "beside the device pop-up in the main window.");
    }

    // The detached window stays an ordinary opaque window; only the view's own background is
    // left to the view.
    banner.controller->setTableViewColor();

    if (nimbara::ui::ImageButton* button = mainUi_ ? mainUi_->stateBannerBtn : nullptr) {
        connect(button, &QPushButton::clicked, this, [this, button] { ClickStateBanner(button); });
    }
}

void QuennicAppDelegate::ClickStateBanner(QObject* sender) {
    if (deviceArray_.empty() || !stateBanner_) {
        return;
    }
    StateBanner& banner = *stateBanner_;
    createPopover();
    banner.sizeForDevices();
    banner.controller->reloadTableviewData();

    QWidget* popover = banner.popover;
    const QRect anchor = anchorFor(sender);
    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    popover->move(screen != nullptr ? nimbara::ui::popoverPosition(anchor, popover->size(),
                                                                   screen->availableGeometry())
                                    : anchor.bottomLeft());
    popover->show();
    popover->raise();
}

void QuennicAppDelegate::createPopover() {
    if (!stateBanner_ || stateBanner_->popover) {
        return;
    }
    StateBanner& banner = *stateBanner_;
    auto* popover = new QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    popover->setObjectName(QStringLiteral("thePopover"));
    // A click on the button that opened it only closes it.
    popover->setAttribute(Qt::WA_NoMouseReplay);
    banner.popAttachWindow->hide();
    placeInto(popover, banner.controller);
    banner.controller->setDetachable(true);
    popover->setFixedSize(banner.controller->size());
    popover->installEventFilter(&banner);
    banner.popover = popover;
}

void QuennicAppDelegate::popoverDidClose() {
    if (!stateBanner_ || !stateBanner_->popover) {
        return;
    }
    StateBanner& banner = *stateBanner_;
    QWidget* popover = banner.popover;
    banner.popover = nullptr;
    popover->removeEventFilter(&banner);
    // The view is kept for the next opening.
    if (banner.controller->parentWidget() == popover) {
        placeInto(banner.popAttachWindow.get(), banner.controller);
        banner.controller->setDetachable(false);
    }
    popover->hide();
    popover->deleteLater();
}

PPopoverviewConterller* QuennicAppDelegate::thePopViewController() const {
    return stateBanner_ ? stateBanner_->controller : nullptr;
}

QWidget* QuennicAppDelegate::thePopover() const {
    return stateBanner_ ? stateBanner_->popover.data() : nullptr;
}

QWidget* QuennicAppDelegate::detachableWindowForPopover() const {
    return stateBanner_ ? stateBanner_->popAttachWindow.get() : nullptr;
}

QSystemTrayIcon* QuennicAppDelegate::statusItem() const {
    return stateBanner_ ? stateBanner_->statusItem : nullptr;
}
