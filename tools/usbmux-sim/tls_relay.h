// A service spoken in TLS without its handler knowing: the client's socket speaks TLS, the
// handler gets the plain end of a socket pair, and a thread of the relay's own moves the bytes
// between the two until either side ends.
//
// The client's end (it went away, or sent close_notify) closes the handler's end, so that a
// handler waiting for the peer returns; the handler's end closing says close_notify to the
// client. The destructor closes the handler's end and joins the thread.
#pragma once

#include <memory>
#include <thread>

#include "tls_link.h"

namespace nimbara::usbmuxsim {

class TlsRelay {
  public:
    // `clientFd` stays the caller's and must outlive the relay.
    TlsRelay(std::unique_ptr<TlsLink> link, int clientFd);
    ~TlsRelay();
    TlsRelay(const TlsRelay&) = delete;
    TlsRelay& operator=(const TlsRelay&) = delete;

    // The handler's plain end; -1 when no socket pair could be made.
    int plainFd() const { return handlerEnd_; }

  private:
    void pump();

    const std::unique_ptr<TlsLink> link_;
    const int clientFd_;
    int handlerEnd_ = -1;
    int relayEnd_ = -1;
    std::thread thread_;
};

}  // namespace nimbara::usbmuxsim
