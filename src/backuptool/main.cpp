// nimbara-backup: backs a device up into the local backup root, or restores a backup to it.
//
//   nimbara-backup --backup --target UDID
//   nimbara-backup --restore --target UDID --source FOLDER
//
// Exit status 0 when the work was done, 1 when it failed, 2 for a wrong command line; the reason
// of a failure is one line on standard error. While it works, it writes its progress and what it
// waits for on standard output as tool lines (backup/tool_line.h); the last line there is the
// answer of a run that succeeded. A terminating signal ends the run at the next file, leaving no
// half-written backup and the device's contents as they were. A closed pipe is no signal: its
// writes fail instead.
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <mutex>
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
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);

    std::mutex outputMutex;
    const nimbara::backup::ToolOutput output = [&outputMutex](const std::string& line) {
        std::lock_guard<std::mutex> lock(outputMutex);
        std::fprintf(stdout, "%s\n", line.c_str());
        std::fflush(stdout);
    };
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const nimbara::backup::ToolAnswer answer = nimbara::backup::runBackupTool(
        arguments, [] { return g_stop.load(); }, output);
    std::fprintf(answer.ok() ? stdout : stderr, "%s\n", answer.message.c_str());
    return answer.exitStatus;
}
