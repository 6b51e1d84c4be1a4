#include "transfer/pages/pr_tansfer_view_controller.h"

PRTansferViewController::PRTansferViewController(QObject* parent)
    : PageControllerBase("PRTansferViewController", QStringLiteral("Transfer"), parent) {}

void PRTansferViewController::viewShown() {
    shownView_ = QStringLiteral("mainView");
}

void PRTansferViewController::showCategory(const char* method, const QString& view) {
    record(QStringLiteral("%1()").arg(QString::fromLatin1(method)));
    shownView_ = view;
    showNotAvailable();
}

void PRTansferViewController::enterCategory(const char* method, int deviceIndex) {
    record(QStringLiteral("%1(%2)").arg(QString::fromLatin1(method), argument(deviceIndex)));
    deviceIndex_ = deviceIndex;
    showNotAvailable();
}

void PRTansferViewController::showAppView() {
    showCategory("showAppView", "appView");
}
void PRTansferViewController::showPhotoView() {
    showCategory("showPhotoView", "photoView");
}
void PRTansferViewController::showMusicView() {
    showCategory("showMusicView", "musicView");
}
void PRTansferViewController::showVideoView() {
    showCategory("showVideoView", "videoView");
}
void PRTansferViewController::showContactView() {
    showCategory("showContactView", "contactView");
}
void PRTansferViewController::showMessageView() {
    showCategory("showMessageView", "messageView");
}
void PRTansferViewController::showNoteView() {
    showCategory("showNoteView", "noteView");
}

void PRTansferViewController::ShowApp(int deviceIndex) {
    enterCategory("ShowApp", deviceIndex);
}
void PRTansferViewController::ShowPhoto(int deviceIndex) {
    enterCategory("ShowPhoto", deviceIndex);
}
void PRTansferViewController::ShowMusic(int deviceIndex) {
    enterCategory("ShowMusic", deviceIndex);
}
void PRTansferViewController::showContact(int deviceIndex) {
    enterCategory("showContact", deviceIndex);
}
void PRTansferViewController::showMessage(int deviceIndex) {
    enterCategory("showMessage", deviceIndex);
}
void PRTansferViewController::showNote(int deviceIndex) {
    enterCategory("showNote", deviceIndex);
}

void PRTansferViewController::refreshOutlineView() {
    record(QStringLiteral("refreshOutlineView()"));
}
