#include "platform/mobiledevice/imd/imd_errors.h"

#include <array>
#include <utility>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::imd {

namespace {

// lockdownd's own error texts, as libimobiledevice names them.
constexpr std::array<std::pair<const char*, lockdownd_error_t>, 23> kLockdownAnswers = {{
    {"PasswordProtected", LOCKDOWN_E_PASSWORD_PROTECTED},
    {"PairingDialogResponsePending", LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING},
    {"UserDeniedPairing", LOCKDOWN_E_USER_DENIED_PAIRING},
    {"InvalidHostID", LOCKDOWN_E_INVALID_HOST_ID},
    {"MissingHostID", LOCKDOWN_E_MISSING_HOST_ID},
    {"InvalidPairRecord", LOCKDOWN_E_INVALID_PAIR_RECORD},
    {"MissingPairRecord", LOCKDOWN_E_MISSING_PAIR_RECORD},
    {"PairingFailed", LOCKDOWN_E_PAIRING_FAILED},
    {"NoRunningSession", LOCKDOWN_E_NO_RUNNING_SESSION},
    {"SessionInactive", LOCKDOWN_E_SESSION_INACTIVE},
    {"InvalidSessionID", LOCKDOWN_E_INVALID_SESSION_ID},
    {"MissingSessionID", LOCKDOWN_E_MISSING_SESSION_ID},
    {"InvalidService", LOCKDOWN_E_INVALID_SERVICE},
    {"MissingService", LOCKDOWN_E_MISSING_SERVICE},
    {"ServiceProhibited", LOCKDOWN_E_SERVICE_PROHIBITED},
    {"ServiceLimit", LOCKDOWN_E_SERVICE_LIMIT},
    {"MissingKey", LOCKDOWN_E_MISSING_KEY},
    {"MissingValue", LOCKDOWN_E_MISSING_VALUE},
    {"GetProhibited", LOCKDOWN_E_GET_PROHIBITED},
    {"SetProhibited", LOCKDOWN_E_SET_PROHIBITED},
    {"RemoveProhibited", LOCKDOWN_E_REMOVE_PROHIBITED},
    {"InvalidRequest", LOCKDOWN_E_UNKNOWN_ERROR},
    {"InvalidConfiguration", LOCKDOWN_E_INVALID_CONF},
}};

}  // namespace

int fromLockdownAnswer(const std::string& error) {
    for (const auto& [text, code] : kLockdownAnswers) {
        if (error == text) {
            return fromLockdown(code, false);
        }
    }
    return Error::Unknown;
}

bool isForgottenPairing(lockdownd_error_t error) {
    return error == LOCKDOWN_E_INVALID_HOST_ID || error == LOCKDOWN_E_MISSING_HOST_ID ||
           error == LOCKDOWN_E_INVALID_PAIR_RECORD || error == LOCKDOWN_E_MISSING_PAIR_RECORD;
}

int fromLockdown(lockdownd_error_t error, bool detached) {
    switch (error) {
        case LOCKDOWN_E_SUCCESS:
            return Error::Ok;
        case LOCKDOWN_E_PASSWORD_PROTECTED:
            return Error::PasswordProtected;
        case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING:
            return Error::PairingPending;
        case LOCKDOWN_E_USER_DENIED_PAIRING:
            return Error::PairingRefused;
        case LOCKDOWN_E_INVALID_HOST_ID:
        case LOCKDOWN_E_MISSING_HOST_ID:
        case LOCKDOWN_E_MISSING_PAIR_RECORD:
        case LOCKDOWN_E_INVALID_PAIR_RECORD:
        case LOCKDOWN_E_PAIRING_FAILED:
        case LOCKDOWN_E_INVALID_CONF:
            return detached ? Error::DeviceGone : Error::InvalidPairing;
        case LOCKDOWN_E_NO_RUNNING_SESSION:
        case LOCKDOWN_E_SESSION_INACTIVE:
        case LOCKDOWN_E_INVALID_SESSION_ID:
        case LOCKDOWN_E_MISSING_SESSION_ID:
            return detached ? Error::DeviceGone : Error::SessionInactive;
        case LOCKDOWN_E_INVALID_SERVICE:
        case LOCKDOWN_E_MISSING_SERVICE:
        case LOCKDOWN_E_SERVICE_PROHIBITED:
        case LOCKDOWN_E_SERVICE_LIMIT:
            return Error::ServiceRefused;
        case LOCKDOWN_E_MISSING_KEY:
        case LOCKDOWN_E_MISSING_VALUE:
        case LOCKDOWN_E_GET_PROHIBITED:
        case LOCKDOWN_E_SET_PROHIBITED:
        case LOCKDOWN_E_REMOVE_PROHIBITED:
        case LOCKDOWN_E_INVALID_ARG:
            return Error::InvalidArgument;
        case LOCKDOWN_E_RECEIVE_TIMEOUT:
            return detached ? Error::DeviceGone : Error::Timeout;
        case LOCKDOWN_E_MUX_ERROR:
        case LOCKDOWN_E_SSL_ERROR:
            return detached ? Error::DeviceGone : Error::ConnectionRefused;
        case LOCKDOWN_E_PLIST_ERROR:
        case LOCKDOWN_E_DICT_ERROR:
        case LOCKDOWN_E_INVALID_RESPONSE:
            return detached ? Error::DeviceGone : Error::ProtocolError;
        default:
            return detached ? Error::DeviceGone : Error::Unknown;
    }
}

int fromIdevice(idevice_error_t error, bool detached) {
    if (error == IDEVICE_E_SUCCESS) {
        return Error::Ok;
    }
    if (detached || error == IDEVICE_E_NO_DEVICE) {
        return Error::DeviceGone;
    }
    switch (error) {
        case IDEVICE_E_TIMEOUT:
            return Error::Timeout;
        case IDEVICE_E_INVALID_ARG:
            return Error::InvalidArgument;
        case IDEVICE_E_NOT_ENOUGH_DATA:
            return Error::ProtocolError;
        default:
            return Error::ConnectionRefused;
    }
}

int fromHouseArrest(const std::string& error) {
    // Since iOS 8.3 the device answers "InstallationLookupFailed" for an installed app that does
    // not share its files; "ApplicationLookupFailed" names an app it doesn't know.
    if (error == "ApplicationLookupFailed") {
        return Error::AppNotInstalled;
    }
    if (error == "InstallationLookupFailed" || error == "ContainerLookupFailed") {
        return Error::ContainerRefused;
    }
    return Error::ServiceRefused;
}

bool isTransientTrustError(int code) {
    return code == Error::PasswordProtected || code == Error::PairingPending ||
           code == Error::InvalidPairing || code == Error::ConnectionRefused ||
           code == Error::Timeout || code == Error::SessionInactive;
}

}  // namespace nimbara::md::imd
