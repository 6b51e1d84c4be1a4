// What every feature page controller shares: the host it gets its context from, the page's root
// view, which the shell puts into a container of the main window, and the plain "not available
// yet" view a page shows until it is built. Widgets are made on first use, on the GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "device/device_target.h"
#include "platform/notification_center.h"
#include "ui/page_host.h"

class QLabel;
class QStackedLayout;
class QVBoxLayout;
class QWidget;

namespace nimbara::ui {

class PageControllerBase : public QObject {
    Q_OBJECT

  public:
    // `host` outlives the page; `className` names the controller in the page call log;
    // `pageTitle` heads its views.
    PageControllerBase(PageHost& host, const char* className, const QString& pageTitle,
                       QObject* parent = nullptr);
    ~PageControllerBase() override;

    // Puts the page's root view into `container` (in a layout that fills it) and shows it.
    // Calling it again with the same container only shows the page again; another container
    // takes the view over. A null container changes nothing.
    void showView(QWidget* container);

    // The page's root view and the container that holds it (null before showView).
    QWidget* view();
    QWidget* container() const;
    // The plain view headed by the page title and "This page is not available yet.".
    QWidget* notAvailableView();
    bool isShowingNotAvailable() const;
    QString pageTitle() const { return pageTitle_; }

    // The shell shows another device (an empty target: none is left). Pages hear it in the
    // shell's order and drop what they hold of the last one. GUI thread.
    virtual void deviceChanged(const amd::DeviceTarget& /*target*/) {}

  protected:
    PageHost& host() const { return host_; }
    // Runs after showView placed the view: the page's own set-up of its sub-views.
    virtual void viewShown() {}
    // Makes `pageView` the page's own view, in front of the "not available yet" view.
    void showPageView(QWidget* pageView);
    // Brings the "not available yet" view to the front of the page.
    void showNotAvailable();
    // Puts the root view into `container` without recording a call.
    void placeView(QWidget* container);
    // Adds a disabled line of text under the "not available yet" message.
    QLabel* addNotAvailableNote(const QString& text);
    // From now on the page hears of every device detach in deviceDetached, on the GUI thread
    // whatever thread told of it, and never after the page is gone.
    void watchDeviceDetach();
    // The device of manager index `index` went away (see watchDeviceDetach).
    virtual void deviceDetached(int /*index*/) {}
    // Appends "ClassName::call" to the page call log.
    void record(const QString& call) const;

    static QString argument(int value);
    static QString argument(const QString& text);
    static QString argument(const QObject* object);

  private:
    void buildViews();

    PageHost& host_;
    const char* className_;
    QString pageTitle_;
    QPointer<QWidget> root_;
    QPointer<QWidget> notAvailable_;
    QPointer<QWidget> container_;
    QStackedLayout* stack_ = nullptr;
    QVBoxLayout* notesLayout_ = nullptr;
    nimbara::ObserverBag detachObserver_;
};

}  // namespace nimbara::ui
