#include "support/Process.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ferrik_test {

namespace {

// In the child, before exec. Root gets every capability back at exec unless
// it is out of the bounding set (and the inheritable and ambient ones).
void ApplyLimits(const ChildLimits& limits) {
    if (limits.fileModesEnforced) {
        prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        bool dropped = syscall(SYS_capget, &header, data) == 0;
        for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
            // Dropping needs CAP_SETPCAP; a user other than root has neither.
            if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0 && geteuid() == 0) dropped = false;
            data[cap / 32].inheritable &= ~(1u << (cap % 32));
        }
        if (dropped) syscall(SYS_capset, &header, data);
        if (!dropped && geteuid() == 0) {
            const char line[] = "test harness: cannot take CAP_DAC_OVERRIDE away from the program (no CAP_SETPCAP)\n";
            const ssize_t written = write(1, line, sizeof line - 1);
            static_cast<void>(written);
            _exit(125);
        }
    }
    if (limits.fileSizeLimit != 0) {
        signal(SIGXFSZ, limits.sizeSignal ? SIG_DFL : SIG_IGN);
        const rlimit limit{limits.fileSizeLimit, limits.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, const char*>>& env,
             const std::string& cwd, const ChildLimits& limits, Streams streams) {
    int pipeFds[2];
    int errFds[2] = {-1, -1};
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    if (streams == Streams::Apart && pipe2(errFds, O_CLOEXEC) != 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], 1);
        dup2(streams == Streams::Apart ? errFds[1] : pipeFds[1], 2);
        // A test runner started in the background hands its children
        // SIGINT ignored; a program started from a terminal gets it.
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) signal(sig, SIG_DFL);
        for (const auto& [name, value] : env) {
            if (value == nullptr)
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value, 1);
        }
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        ApplyLimits(limits);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    outFd_ = pipeFds[0];
    if (errFds[1] >= 0) {
        close(errFds[1]);
        errFd_ = errFds[0];
        errClosed_ = false;
    }
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

void Child::Collect(int ms) {
    // A stream at its end is left out: poll would report it again at once.
    pollfd p[2] = {{outClosed_ ? -1 : outFd_, POLLIN, 0}, {errClosed_ ? -1 : errFd_, POLLIN, 0}};
    if (poll(p, 2, ms) <= 0) return;
    char buf[4096];
    if (p[0].revents != 0) {
        const ssize_t n = read(outFd_, buf, sizeof buf);
        if (n > 0) output_.append(buf, static_cast<size_t>(n));
        if (n == 0) outClosed_ = true;
    }
    if (p[1].revents != 0) {
        const ssize_t n = read(errFd_, buf, sizeof buf);
        if (n > 0) errors_.append(buf, static_cast<size_t>(n));
        if (n == 0) errClosed_ = true;
    }
}

bool Child::WaitForOutput(const std::string& text, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (output_.find(text) == std::string::npos) {
        if (outClosed_ || std::chrono::steady_clock::now() > deadline) return false;
        Collect(20);
    }
    return true;
}

Exited Child::Wait(double seconds) {
    Exited result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (pid_ > 0) {
        Collect(20);
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            result.finished = true;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            pid_ = -1;
            break;
        }
    }
    for (int fd : {outFd_, errFd_}) {
        if (fd < 0) continue;
        std::string& into = fd == outFd_ ? output_ : errors_;
        for (;;) {
            char buf[4096];
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) break;
            into.append(buf, static_cast<size_t>(n));
        }
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.output = output_;
    result.errors = errors_;
    // In the sanitizer build the started program inherits the sanitizers'
    // settings: its report fails the test whatever status the test expects.
    for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", ": runtime error: "}) {
        if (output_.find(report) != std::string::npos || errors_.find(report) != std::string::npos) {
            ADD_FAILURE() << "sanitizer report from the started program:\n" << output_ << errors_;
            break;
        }
    }
    return result;
}

Exited RunProgram(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, const char*>>& env,
           double seconds, const std::string& cwd, const ChildLimits& limits, Streams streams) {
    Child child(argv, env, cwd, limits, streams);
    return child.Wait(seconds);
}

Exited RunOnSimChips(const std::vector<std::string>& argv, const char* chips, const std::string& images,
                     const char* faults, double seconds, const std::string& cwd,
                     const std::vector<std::pair<std::string, const char*>>& more) {
    std::vector<std::pair<std::string, const char*>> env = {{"FERRIK_SIM_CHIPS", chips},
                                                            {"FERRIK_SIM_IMAGE", images.c_str()},
                                                            {"FERRIK_SIM_FAULTS", faults},
                                                            {"NO_COLOR", "1"}};
    env.insert(env.end(), more.begin(), more.end());
    return RunProgram(argv, env, seconds, cwd);
}

TempDir::TempDir() {
    char pattern[] = "/tmp/ferrik-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "/tmp";
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace ferrik_test
