// Sentences for the library's error codes, for alerts and status lines.
#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md {

std::string errorText(int code) {
    switch (code) {
        case Error::Ok:
            return {};
        case Error::DeviceGone:
            return "The device was disconnected.";
        case Error::PasswordProtected:
            return "The device is locked. Unlock it with its passcode and try again.";
        case Error::PairingPending:
            return "The device asks whether to trust this computer. Unlock it and choose "
                   "Trust.";
        case Error::PairingRefused:
            return "The device does not trust this computer. Unplug it, plug it in again and "
                   "choose Trust when it asks.";
        case Error::InvalidPairing:
            return "The device does not trust this computer yet. Unlock it and choose Trust "
                   "when it asks.";
        case Error::ConnectionRefused:
        case Error::NotConnected:
            return "The device could not be reached. Check its cable and that it is unlocked.";
        case Error::SessionInactive:
            return "The device ended the session. Try again.";
        case Error::ServiceRefused:
            return "The device refused this service.";
        case Error::AppNotInstalled:
            return "The app is not installed on the device.";
        case Error::ContainerRefused:
            return "The device does not let this computer open the app's files: only apps "
                   "that share their files with a computer can be opened.";
        case Error::Refused:
            return "The device refused the request.";
        case Error::Timeout:
            return "The device did not answer in time.";
        case Error::Connecting:
            return "The device is being connected.";
        case Error::ProtocolError:
            return "The device sent an answer that could not be understood.";
        case Error::InvalidArgument:
            return "The device does not have this information.";
        default:
            return "The device reported an error (" + std::to_string(code) + ").";
    }
}

}  // namespace nimbara::md
