// The transfer page: apps, photos, music, videos, contacts, messages and notes of the device.
#pragma once

#include <QString>

#include <atomic>

#include "ui/page_controller_base.h"

class PRTansferViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRTansferViewController(QObject* parent = nullptr);

    // Show one category view and hide the main view and the others.
    void showAppView();
    void showPhotoView();
    void showMusicView();
    void showVideoView();
    void showContactView();
    void showMessageView();
    void showNoteView();

    // Category entries taking the device index. Until the page is built they show that it is
    // not available; they start no scan and post no notification.
    void ShowApp(int deviceIndex);
    void ShowPhoto(int deviceIndex);
    void ShowMusic(int deviceIndex);
    void showContact(int deviceIndex);
    void showMessage(int deviceIndex);
    void showNote(int deviceIndex);

    // Sent after the app tree was re-arranged; nothing to fold while there is no app list.
    void refreshOutlineView();

    int deviceIndex() const { return deviceIndex_.load(); }
    // "mainView", "appView", "photoView", "musicView", "videoView", "contactView",
    // "messageView" or "noteView".
    QString shownView() const { return shownView_; }

  protected:
    void viewShown() override;

  private:
    void showCategory(const char* method, const QString& view);
    void enterCategory(const char* method, int deviceIndex);

    std::atomic<int> deviceIndex_{0};
    QString shownView_ = QStringLiteral("mainView");
};
