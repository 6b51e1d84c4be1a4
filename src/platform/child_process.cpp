#include "platform/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace nimbara {

namespace {

constexpr int kLookMilliseconds = 20;
// A line longer than this is handed on in pieces.
constexpr std::size_t kLongestLine = 64 * 1024;

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

// Splits the child's output into lines as it arrives.
class LineSplitter {
  public:
    explicit LineSplitter(const std::function<void(std::string_view)>& sink) : sink_(sink) {}
    void add(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '\n' || c == '\r') {
                flush();
            } else {
                pending_.push_back(c);
                if (pending_.size() >= kLongestLine) {
                    flush();
                }
            }
        }
    }
    void flush() {
        if (!pending_.empty() && sink_) {
            sink_(pending_);
        }
        pending_.clear();
    }

  private:
    const std::function<void(std::string_view)>& sink_;
    std::string pending_;
};

// Reads what the pipe holds now; false once it reached its end (or failed).
bool drain(int fd, LineSplitter& lines) {
    char buf[8192];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            lines.add(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void recordStatus(int status, ChildOutcome& outcome) {
    if (WIFEXITED(status)) {
        outcome.exited = true;
        outcome.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    }
}

// Runs in the child between fork and exec: only calls that are safe there.
[[noreturn]] void becomeChild(const char* program, char* const* argv, char* const* envp,
                              pid_t parent, int outputFd, int errorFd) {
    // Killed with the thread that started it, even when that dies by SIGKILL.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) {
        ::_exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGQUIT}) {
        ::sigaction(s, &byDefault, nullptr);
    }
    const int null = ::open("/dev/null", O_RDONLY);
    if (null < 0 || ::dup2(null, STDIN_FILENO) < 0 || ::dup2(outputFd, STDOUT_FILENO) < 0 ||
        ::dup2(outputFd, STDERR_FILENO) < 0) {
        const int error = errno;
        [[maybe_unused]] ssize_t ignored = ::write(errorFd, &error, sizeof error);
        ::_exit(127);
    }
    ::execve(program, argv, envp);
    const int error = errno;
    [[maybe_unused]] ssize_t ignored = ::write(errorFd, &error, sizeof error);
    ::_exit(127);
}

// Waits for the child after a stop: SIGTERM, then SIGKILL once the grace is over.
void endChild(pid_t pid, int outputFd, LineSplitter& lines, std::chrono::milliseconds grace,
              ChildOutcome& outcome) {
    ::kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            recordStatus(status, outcome);
            return;
        }
        if (outputFd >= 0) {
            drain(outputFd, lines);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    recordStatus(status, outcome);
}

}  // namespace

ChildOutcome runChild(const std::string& program, const std::vector<std::string>& arguments,
                      const ChildOptions& options) {
    ChildOutcome outcome;
    // Everything the child needs is made before the fork.
    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    char* const* envp = environ;

    int output[2];
    int errors[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        outcome.startError = std::strerror(errno);
        return outcome;
    }
    Fd outputRead(output[0]);
    Fd outputWrite(output[1]);
    if (::pipe2(errors, O_CLOEXEC) != 0) {
        outcome.startError = std::strerror(errno);
        return outcome;
    }
    Fd errorRead(errors[0]);
    Fd errorWrite(errors[1]);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        outcome.startError = std::strerror(errno);
        return outcome;
    }
    if (pid == 0) {
        becomeChild(program.c_str(), argv.data(), envp, parent, outputWrite.get(),
                    errorWrite.get());
    }
    outputWrite.reset();
    errorWrite.reset();

    // The error pipe closes at the exec; anything read from it is why the exec failed.
    int execError = 0;
    ssize_t got = 0;
    while ((got = ::read(errorRead.get(), &execError, sizeof execError)) < 0 && errno == EINTR) {
    }
    if (got == static_cast<ssize_t>(sizeof execError)) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        outcome.startError = std::strerror(execError);
        return outcome;
    }
    outcome.started = true;

    ::fcntl(outputRead.get(), F_SETFL, ::fcntl(outputRead.get(), F_GETFL) | O_NONBLOCK);
    LineSplitter lines(options.line);
    while (true) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            recordStatus(status, outcome);
            if (outputRead.get() >= 0) {
                drain(outputRead.get(), lines);
            }
            break;
        }
        if (options.stop && options.stop()) {
            outcome.stopped = true;
            endChild(pid, outputRead.get(), lines, options.endGrace, outcome);
            if (outputRead.get() >= 0) {
                drain(outputRead.get(), lines);  // what it said on its way out
            }
            break;
        }
        if (outputRead.get() < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kLookMilliseconds));
            continue;
        }
        pollfd p{outputRead.get(), POLLIN, 0};
        if (::poll(&p, 1, kLookMilliseconds) > 0 && !drain(outputRead.get(), lines)) {
            outputRead.reset();  // the child closed its output; it may still be running
        }
    }
    lines.flush();
    return outcome;
}

std::string findProgram(const std::string& name) {
    auto runnable = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
               ::access(path.c_str(), X_OK) == 0;
    };
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string::npos) {
        return runnable(name) ? name : std::string();
    }
    const char* path = std::getenv("PATH");
    const std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        const std::string dir = dirs.substr(start, end - start);
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (runnable(candidate)) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace nimbara
