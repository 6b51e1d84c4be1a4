// nimbara-backup: backs a device up into the local backup root, or restores a backup to it.
//
//   nimbara-backup --backup --target UDID
//   nimbara-backup --restore --target UDID --source FOLDER
//
// Exit status 0 when the work was done, 1 when it failed, 2 for a wrong command line; the reason
// of a failure is one line on standard error. A terminating signal ends the run at the next file,
// leaving no half-written backup and the device's contents as they were.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "backup/backup_tool.h"

namespace {

std::atomic<bool> g_stop{false};

void requestStop(int) {
    g_stop.store(true);
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const nimbara::backup::ToolAnswer answer =
        nimbara::backup::runBackupTool(arguments, [] { return g_stop.load(); });
    std::fprintf(answer.ok() ? stdout : stderr, "%s\n", answer.message.c_str());
    return answer.exitStatus;
}
