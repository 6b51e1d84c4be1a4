// Plays a program killed in the middle of a folder exchange on a file system without the atomic
// one: `work` runs in a child process that ends between the two moves.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "platform/folder_exchange.h"

namespace nimbara::test {

// True when the child got to the moment between the moves and ended there.
inline bool killedBetweenTheMoves(const std::function<void()>& work) {
    const pid_t child = ::fork();
    if (child == 0) {
        setFolderExchangeTestHooks({true, [] { ::_exit(42); }, {}});
        work();
        ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 42;
}

}  // namespace nimbara::test
