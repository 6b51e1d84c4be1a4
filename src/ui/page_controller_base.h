// What every feature page controller shares: the page's root view, which the shell puts into a
// container of the main window, and the plain "not available yet" view a page shows until it is
// built. Widgets are made on first use, on the GUI thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include "platform/notification_center.h"

class QLabel;
class QStackedLayout;
class QVBoxLayout;
class QWidget;

namespace nimbara::ui {

class PageControllerBase : public QObject {
    Q_OBJECT

  public:
    // `className` names the controller in the page call log; `pageTitle` heads its views.
    PageControllerBase(const char* className, const QString& pageTitle, QObject* parent = nullptr);
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

  protected:
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
