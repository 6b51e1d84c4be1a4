// Runs another program as a child process with an argument list (never through a shell) and
// waits for it, for a program that has no event loop (the backup tool).
//
// The child's standard input is /dev/null, so it can never wait for typing; its standard output
// and error come back line by line ('\r' ends a line too, as progress bars use it). It is tied to
// the thread that started it: when that thread or its process dies, the child is killed, so a
// parent that is killed itself leaves nothing running behind. A stop asks the child to end
// (SIGTERM) and kills it when it has not within the grace; either way the child is reaped before
// runChild() returns.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbara {

struct ChildOptions {
    // Asked about every 20 ms while the child runs; may be empty.
    std::function<bool()> stop;
    // Each line of the child's output, without its end; may be empty.
    std::function<void(std::string_view line)> line;
    // How long a child asked to end may take before it is killed.
    std::chrono::milliseconds endGrace{800};
};

struct ChildOutcome {
    bool started = false;
    std::string startError;  // why it could not be started
    bool stopped = false;    // the stop was asked for and the child was ended
    bool exited = false;     // it ended by itself through exit()
    int exitStatus = -1;     // when exited
    int signal = 0;          // the signal that ended it, when not exited
    bool succeeded() const { return started && !stopped && exited && exitStatus == 0; }
};

// `program` is a path (see findProgram); arguments[0] is the first argument, not the name.
ChildOutcome runChild(const std::string& program, const std::vector<std::string>& arguments,
                      const ChildOptions& options = {});

// The path of `name` as the shell would find it on PATH (a name with a '/' is taken as it is);
// empty when there is no such executable file.
std::string findProgram(const std::string& name);

}  // namespace nimbara
