// How libimobiledevice's and the device's own failures become the library's error codes.
#pragma once

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

#include <string>

namespace nimbara::md::imd {

// A lockdown failure. `detached` says whether the device has gone meanwhile: a broken connection
// is then reported as DeviceGone rather than as a refusal.
int fromLockdown(lockdownd_error_t error, bool detached);

// The "Error" text of a lockdown answer (read on our own lockdown connection).
int fromLockdownAnswer(const std::string& error);

// Whether a lockdown failure says the device does not know this computer's pair record, so
// that pairing again may help (not a refusal, a locked device or a pending question).
bool isForgottenPairing(lockdownd_error_t error);

// A failure of a connection to the device.
int fromIdevice(idevice_error_t error, bool detached);

// The "Error" text of a house-arrest reply: an app that is not installed, an app whose container
// the device won't open, anything else.
int fromHouseArrest(const std::string& error);

// Whether waiting and asking again may help (a locked device, a pending trust question, a device
// still busy starting); not for a refusal or a device that is gone.
bool isTransientTrustError(int code);

}  // namespace nimbara::md::imd
