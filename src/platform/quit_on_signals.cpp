#include "platform/quit_on_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>

namespace nimbara {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_writeFd = -1;

void onSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    if (g_writeFd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(g_writeFd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

QuitOnSignals::QuitOnSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        fds_[0] = fds_[1] = -1;
        return;
    }
    g_writeFd = fds_[1];
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::readSignal);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // The next one is the system's again: a program stuck on its way out still ends.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    for (int signal : kSignals) {
        ::sigaction(signal, &action, nullptr);
    }
}

QuitOnSignals::~QuitOnSignals() {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (int signal : kSignals) {
        ::sigaction(signal, &fallback, nullptr);
    }
    g_writeFd = -1;
    for (int fd : fds_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void QuitOnSignals::readSignal() {
    unsigned char byte = 0;
    while (::read(fds_[0], &byte, 1) == 1) {
        if (received_ == 0) {
            received_ = byte;
            // Not quit(): that asks the windows, and the main window asks the user.
            QCoreApplication::exit(128 + received_);
        }
    }
}

}  // namespace nimbara
