// nimbara-usbmux-sim: a protocol-level iPhone for tests. It serves the simulated device folders
// under a folder (the layout of platform/mobiledevice/sim/sim_layout.h, as nimbara-simdevice and
// the tests write them) on a UNIX socket speaking the usbmux daemon's protocol, so that
// libusbmuxd and libimobiledevice reach them as USB devices, with no daemon and no USB:
//
//   nimbara-usbmux-sim --socket PATH --devices DIR [--pair-records DIR]
//                      [--profile legacy|ios11|ios17] [--verbose]
//   USBMUXD_SOCKET_ADDRESS=UNIX:PATH some-libimobiledevice-client
//
//   --socket PATH        the socket to listen on (a stale socket there is replaced)
//   --devices DIR        the simulated devices: each folder with a device.plist is a device, its
//                        UniqueDeviceID the usbmux serial number. A folder appearing is an
//                        attach, one going away a detach (within a second; "SimRescan" at once)
//   --pair-records DIR   where the host's pair records live, as "<udid>.plist" (a record found
//                        there at the start is one the device trusts); default: in memory
//   --profile NAME       the generation of devices served (sim_profile.h), default ios17; a
//                        device.plist's top-level "SimProfile" (same names) overrides it
//   --verbose            every request on standard error, and each TLS handshake's outcome
//
// It prints "ready" on standard output once the socket accepts connections, and runs until it
// gets SIGTERM or SIGINT (or its parent goes away).
//
// What is served (details in usbmux_server.h, lockdown.h and device_services.h):
//  - usbmux: ListDevices, Listen (Attached, Detached and Paired events), Connect, ReadPairRecord,
//    SavePairRecord, DeletePairRecord, ReadBUID, and for tests "SimRescan" (look at the devices
//    folder now), "SimAttach" and "SimDetach" (with "Path", a device folder outside the devices
//    folder), each answered by a "Result" once its events went out, and "SimTlsHandshakes" (the
//    TLS handshakes so far, each with the protocol agreed or its failure, once none is under way);
//  - lockdown on port 62078: QueryType, GetValue, Pair, ValidatePair, Unpair, StartSession,
//    StopSession and StartService. By profile:
//      legacy  all in plain text ("EnableSessionSSL" and "EnableServiceSSL" false), ValidatePair
//              accepted, the device's own "ProductVersion";
//      ios11   ValidatePair answered {"Error": "InvalidRequest"} (a request the device no longer
//              knows; libimobiledevice reports it as an unknown error). StartSession answers
//              "EnableSessionSSL" true and the server's TLS handshake follows on the lockdown
//              socket: TLS 1.2 or later only, so a client capped at TLS 1.0 (libimobiledevice
//              when it never learnt the iOS version, without lockdownd_client_new_with_handshake)
//              fails it. The device's certificate is made once per process; the client must
//              present its pair record's root or host certificate when the record has them.
//              StopSession is answered in TLS, then the client's close_notify is read and the
//              connection goes on in plain text. "ProductVersion" is at least 11.4.1 (a version
//              raised to it is served with its build, "BuildVersion" 15G77);
//      ios17   as ios11, "ProductVersion" at least 17.5.1 (build 21F90), and StartService answers
//              "EnableServiceSSL" true for SpringBoard icons, house arrest, the crash-report
//              mover, the notification proxy and the backup service (the TLS column of
//              lockdown.cpp's service table): the service's handler works on the plain end of
//              a socket pair behind a relay thread that speaks TLS to the client
//              (tls_relay.h);
//    In a session the global domain holds, besides the device.plist's own values, what a
//    current iPhone's does (global_values.h), where the device.plist has none of it;
//  - AFC (media root and crash area), house arrest, the installation proxy (Browse, Lookup,
//    Install, Uninstall, Archive), SpringBoard icons and the crash-report mover;
//  - the backup service "com.apple.mobilebackup2" (backups and restores of backup-source/, see
//    mobilebackup2_service.h; a restore that asks the device to reboot detaches it and attaches
//    it again, as a restart does) and the notification proxy (notification_proxy.h).
//
// The device.plist keys of sim_layout.h act as they do in the simulated backend ("Trusted"
// false refuses pairing; "Faults" "ConnectError", "RefusedServices", "ShortReply",
// "ClosedReply", "DetachAfterOperations"). These "Faults" keys are read by this tool only:
//   "PasscodeLocked": bool        pairing fails with "PasswordProtected"
//   "TrustPending": bool          pairing fails with "PairingDialogResponsePending" (the trust
//                                 question is on screen); clear it to let the next pairing pass
//   "RestrictedContainers": bool  house arrest as since iOS 8.3: "VendContainer" only for
//                                 developer-signed apps ("get-task-allow"), "VendDocuments" also
//                                 for apps sharing files; others "InstallationLookupFailed"
//   "StalledServices": [names]    these services take requests and never answer (a device
//                                 that hangs), until the peer closes or the device goes away
//   "StalledLockdown": [requests] these lockdown requests ("GetValue", "StartSession", ...) are
//                                 read and never answered, and the connection outlives the
//                                 device's detach (a device hung mid-request) until the peer
//                                 closes it
//   "StalledInSession": [requests] the same, only once a session started on the connection (a
//                                 device that answers the handshake and hangs on what follows)
//   "ListedNames": {path: [names]}  a listing of that media folder answers these names as
//                                 well, names no file system holds ("..", "a/b", "") included
//   "MoverAnswer": string         the crash-report mover says this instead of "ping" and moves
//                                 nothing
//   "SlowDiskUsageMs": int        the installation proxy waits this long (at most 10000 ms)
//                                 before each batch of apps of a Browse or Lookup that asks for
//                                 "StaticDiskUsage" or "DynamicDiskUsage"; default 300 on ios17,
//                                 0 on the older profiles
//   "LockdownDelayMs": int        lockdown waits this long (at most 10000 ms) before each of its
//                                 answers, Goodbye included (a busy device on USB 2)
//   "RefusedServices" may also name "com.apple.crashreportmover".
//   "BackupEncrypted": bool       (also the simulated backend's) the device's backups are
//                                 encrypted: lockdown's "com.apple.mobile.backup" "WillEncrypt"
//                                 is true, Manifest.plist says "IsEncrypted"; a restore of such a
//                                 backup is refused with ErrorCode 207 (wrong password)
//   "BackupPasscode": ms or name  on iOS 16.1 and later, a backup waits behind the passcode
//                                 dialog: the device posts
//                                 "com.apple.LocalAuthentication.ui.presented", waits this many
//                                 milliseconds, or while the file of this name exists in the
//                                 device's folder (at most two minutes), then posts
//                                 "com.apple.LocalAuthentication.ui.dismissed" and goes on
//   "BackupDetachAfterFiles": n   a backup uploads n files, then the device goes away in the
//                                 middle of the next one (it is detached, its connections drop
//                                 and it is not attached again while its folder stays)
//   "BackupLinkMessages": [names] a backup sends these device-link messages, in this order,
//                                 after making its folders, each waiting for the host's status
//                                 answer: "DLMessagePurgeDiskSpace" (whatever the answer, it goes
//                                 on), "DLMessageMoveItems" and "DLMessageCopyItem" (of a file
//                                 uploaded for it, checked in the host's listing and removed
//                                 again; not done, the backup fails), any other name alone
//   "BackupStatus": state          a backup ends with a Status.plist whose "SnapshotState" is
//                                 this ("uploading": it did not finish), or, for "none", sends
//                                 no Status.plist at all; the rest of it goes as usual
//   "SyncLockHeld": ms            another program is syncing: it holds the sync lock
//                                 (/com.apple.itunes.lock_sync, taken with AFC's file locks) from
//                                 the first time a host tries to lock it, until this long after
//                                 a host posted "com.apple.itunes-mobdev.syncLockRequest" through
//                                 the notification proxy; negative or over 60000: for ever
//   "BeforeFirstUnlock": bool or name  the device was not unlocked since it restarted: lockdown
//                                 refuses to start house arrest and the backup service
//                                 ("PasswordProtected"). true: until the fault goes; a name: while
//                                 the file of that name exists in the device's folder, and a
//                                 restore's restart writes it (the unlock removes it)
//   The restore faults of the simulated backend ("RestoreError", "RestoreGoneAfterFiles", ...)
//   act on restores through the backup service as well.
// New crash reports wait in <device>/crashes-new/ until the crash-report mover moves them into
// the crash area, as a device's do.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstring>
#include <string>

#include "sim_profile.h"
#include "usbmux_server.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

int usage(const char* why) {
    std::fprintf(stderr,
                 "nimbara-usbmux-sim: %s\n"
                 "usage: nimbara-usbmux-sim --socket PATH --devices DIR [--pair-records DIR] "
                 "[--profile legacy|ios11|ios17] [--verbose]\n",
                 why);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    nimbara::usbmuxsim::ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--socket" && hasValue) {
            options.socketPath = argv[++i];
        } else if (arg == "--devices" && hasValue) {
            options.devicesDir = argv[++i];
        } else if (arg == "--pair-records" && hasValue) {
            options.pairRecordsDir = argv[++i];
        } else if (arg == "--profile" && hasValue) {
            const auto profile = nimbara::usbmuxsim::parseProfile(argv[++i]);
            if (!profile) {
                return usage((std::string("unknown profile ") + argv[i]).c_str());
            }
            options.profile = *profile;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else {
            return usage(("unknown or incomplete argument " + arg).c_str());
        }
    }
    if (options.socketPath.empty() || options.devicesDir.empty()) {
        return usage("--socket and --devices are required");
    }
    // A test that dies leaves no server behind.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    // A client that goes away in the middle of an answer (TLS writes to the socket itself) is a
    // failed write, not the end of the server.
    ::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    if (::pipe2(signalPipe, O_CLOEXEC) != 0) {
        std::perror("pipe2");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    nimbara::usbmuxsim::UsbmuxServer server(options);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "nimbara-usbmux-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    const int rc = app.exec();
    server.stop();
    return rc;
}
