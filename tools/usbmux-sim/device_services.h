// The services lockdown starts, each on its own connected socket:
//  - AFC ("com.apple.afc", the media root; "com.apple.crashreportcopymobile", the crash area):
//    afc_server.h over the simulated device's AFC client;
//  - property-list services ("com.apple.springboardservices",
//    "com.apple.mobile.installation_proxy"): each request frame goes to the simulated device's
//    service and its answer frames come back. A "Browse" of the installation proxy is answered
//    the way a device browses: "BrowsingApplications" frames with "CurrentList" (each app's
//    attributes, always with "CFBundleIdentifier"), "CurrentIndex", "CurrentAmount" and "Total",
//    then "Complete". A service that answers nothing, or only part of a frame, closes the socket;
//  - house arrest ("com.apple.mobile.house_arrest"): "VendContainer" or "VendDocuments" with an
//    "Identifier" answers {"Status": "Complete"} and the socket speaks AFC over the app's
//    container from then on; {"Error": "ApplicationLookupFailed"} for an app that is not
//    installed, {"Error": "InstallationLookupFailed"} for a container the device refuses (every
//    one when it refuses house arrest; with restricted containers, all but those of
//    developer-signed apps, and for "VendDocuments" also those of apps sharing files);
//  - the crash-report mover ("com.apple.crashreportmover"): moves the reports waiting in the
//    device's new-reports folder (kNewCrashesDir, device_extras.h) into the crash area, says
//    "ping" and waits for the peer to close; the crash area shows those reports only from then
//    on. With a "MoverAnswer" fault it says that instead, having moved nothing.
// A listing of the media root answers the device's listed names as well (device_extras.h).
// A service named in the device's stalled services reads its requests and never answers, until
// the peer closes or the device goes away.
// A service started with TLS (PendingService::tls) first makes the server's handshake on the
// socket, then runs as above behind a TLS relay (tls_relay.h). A Browse or Lookup of the
// installation proxy asking for disk usage is answered slowly where the device says so
// (device_extras.h).
#pragma once

#include "usbmux_server.h"

namespace nimbara::usbmuxsim {

void serveService(UsbmuxServer& server, int fd, PendingService service,
                  const AttachedDevice& device);

}  // namespace nimbara::usbmuxsim
