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
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{limits.fileSizeLimit, limits.fileSizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, const char*>>& env,
             const std::string& cwd, const ChildLimits& limits) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
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
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) close(outFd_);
}

Exited Child::Wait(double seconds) {
    Exited result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (pid_ > 0) {
        pollfd p{outFd_, POLLIN, 0};
        if (poll(&p, 1, 20) > 0) {
            char buf[4096];
            const ssize_t n = read(outFd_, buf, sizeof buf);
            if (n > 0) output_.append(buf, static_cast<size_t>(n));
        }
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
    for (;;) {
        char buf[4096];
        const ssize_t n = read(outFd_, buf, sizeof buf);
        if (n <= 0) break;
        output_.append(buf, static_cast<size_t>(n));
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.output = output_;
    // In the sanitizer build the started program inherits the sanitizers'
    // settings: its report fails the test whatever status the test expects.
    for (const char* report : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", ": runtime error: "}) {
        if (output_.find(report) != std::string::npos) {
            ADD_FAILURE() << "sanitizer report from the started program:\n" << output_;
            break;
        }
    }
    return result;
}

Exited RunProgram(const std::vector<std::string>& argv, const std::vector<std::pair<std::string, const char*>>& env,
           double seconds, const std::string& cwd, const ChildLimits& limits) {
    Child child(argv, env, cwd, limits);
    return child.Wait(seconds);
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
