// A program that runs against a virtual lab (tools/lab): started outside, it brings a lab of
// simulated elements up under a prefix of its own, runs itself again inside the station's
// namespace, and always takes the lab down again, also after a failure, a time-out or a signal.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace varnetix::lab {

// CTest's SKIP_RETURN_CODE for the programs that cannot make namespaces here.
inline constexpr int kSkipExitCode = 77;

struct LabPlan {
    int elements = 4;
    std::vector<std::string> simulatorOptions; // passed to every simulator
    int upTimeoutSeconds = 120;
    int insideTimeoutSeconds = 240; // the run inside the lab is ended after this
};

inline bool insideLab() {
    return std::getenv("VARNETIX_E2E_INNER") != nullptr;
}

inline std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

inline std::string sourceDir() {
#ifdef VARNETIX_SOURCE_DIR
    return VARNETIX_SOURCE_DIR;
#else
    return environment("VARNETIX_SOURCE_DIR");
#endif
}

inline std::string labScript() {
    return sourceDir() + "/tools/lab";
}
inline std::string labPrefix() {
    return environment("VARNETIX_LAB_PREFIX");
}
inline std::string labRunDir() {
    return environment("VARNETIX_LAB_RUN");
}
inline std::string elementNamespace(int k) {
    return labPrefix() + "-e" + std::to_string(k);
}
inline std::string elementLog(int k) {
    return labRunDir() + "/e" + std::to_string(k) + ".log";
}

inline std::string findIpTool() {
    std::string path = environment("PATH");
    path += ":/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = path.find(':', start);
        const std::string dir = path.substr(start, end == std::string::npos ? end : end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/ip";
            if (::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return {};
}

// Why the lab cannot be made here; empty when it can.
inline std::string unavailableReason() {
    if (::geteuid() != 0)
        return "needs root to create network namespaces (run the tests as root, as CI does)";
    if (findIpTool().empty())
        return "needs the `ip` tool (iproute2) to create network namespaces";
    if (::access(labScript().c_str(), X_OK) != 0)
        return "cannot find the lab script at " + labScript();
    return {};
}

namespace detail {

inline volatile std::sig_atomic_t g_stopRequested = 0;

inline void requestStop(int) {
    g_stopRequested = 1;
}

inline double monotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Runs a command with this program's output and waits for it, at most `timeoutSeconds`; a
// stop request or the deadline ends it (TERM, then KILL after a grace period). Returns its
// exit status, 128 + signal when it was ended by one, -1 when it could not be started.
inline int run(const std::vector<std::string>& command, int timeoutSeconds, bool stoppable = true) {
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        std::fprintf(stderr, "lab session: cannot start %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(127);
    }
    const double deadline = monotonicSeconds() + timeoutSeconds;
    double killAt = 0;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return -1;
        const double now = monotonicSeconds();
        const bool ending = (stoppable && g_stopRequested) || now > deadline;
        if (ending && killAt == 0) {
            if (now > deadline)
                std::fprintf(stderr, "lab session: %s did not finish in %d s, ending it\n", argv[0],
                             timeoutSeconds);
            ::kill(pid, SIGTERM);
            killAt = now + 10;
        } else if (killAt != 0 && now > killAt) {
            ::kill(pid, SIGKILL);
        }
        ::usleep(20 * 1000);
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

inline std::string selfPath() {
    std::vector<char> buffer(4096);
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length))
                      : std::string();
}

// The deleted-file marker of a rebuilt executable is not part of its path.
inline std::string withoutDeletedMark(std::string path) {
    const std::string mark = " (deleted)";
    if (path.size() > mark.size() &&
        path.compare(path.size() - mark.size(), mark.size(), mark) == 0)
        path.resize(path.size() - mark.size());
    return path;
}

inline void removeTree(const std::string& dir) {
    if (dir.empty() || dir.find("/varnetix-lab-") == std::string::npos)
        return;
    run({"/bin/rm", "-rf", "--", dir}, 30, false);
}

} // namespace detail

// The outside half: lab up, this program inside the station namespace, lab down. Returns the
// exit status of the inside run (kSkipExitCode when no lab can be made here).
inline int runOutside(int argc, char** argv, const LabPlan& plan) {
    using namespace detail;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::string reason = unavailableReason();
    if (!reason.empty()) {
        std::printf("SKIP: the lab %s\n", reason.c_str());
        return kSkipExitCode;
    }

    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    // A prefix and a run directory of our own: labs of parallel tests never meet.
    char runTemplate[] = "/tmp/varnetix-lab-XXXXXX";
    if (!::mkdtemp(runTemplate)) {
        std::fprintf(stderr, "lab session: cannot create a run directory: %s\n",
                     std::strerror(errno));
        return 1;
    }
    const std::string runRoot = runTemplate;
    const std::string prefix = "vxe" + std::to_string(::getpid());
    ::setenv("VARNETIX_LAB_PREFIX", prefix.c_str(), 1);
    ::setenv("VARNETIX_LAB_RUN", (runRoot + "/lab").c_str(), 1);
    if (environment("VARNETIX_BUILD_BIN").empty()) {
        const std::string self = withoutDeletedMark(selfPath());
        const std::string bin = self.substr(0, self.rfind('/')) + "/../bin";
        ::setenv("VARNETIX_BUILD_BIN", bin.c_str(), 1);
    }

    const std::string script = labScript();
    std::vector<std::string> up = {script, "up", std::to_string(plan.elements)};
    if (!plan.simulatorOptions.empty()) {
        up.push_back("--");
        up.insert(up.end(), plan.simulatorOptions.begin(), plan.simulatorOptions.end());
    }
    const double upStarted = monotonicSeconds();
    int status = run(up, plan.upTimeoutSeconds);
    const double upSeconds = monotonicSeconds() - upStarted;
    if (status == 0 && !g_stopRequested) {
        std::printf("lab session: %d elements up in %.1f s (prefix %s)\n", plan.elements, upSeconds,
                    prefix.c_str());
        char upText[32];
        std::snprintf(upText, sizeof upText, "%.3f", upSeconds);
        ::setenv("VARNETIX_LAB_UP_SECONDS", upText, 1);
        std::vector<std::string> inside = {findIpTool(),
                                           "netns",
                                           "exec",
                                           prefix + "-st",
                                           "/usr/bin/env",
                                           "VARNETIX_E2E_INNER=1",
                                           withoutDeletedMark(selfPath())};
        for (int i = 1; i < argc; ++i)
            inside.emplace_back(argv[i]);
        status = run(inside, plan.insideTimeoutSeconds);
    } else if (status == 0) {
        status = 130;
    } else {
        std::fprintf(stderr, "lab session: `%s up` failed (status %d)\n", script.c_str(), status);
        if (status <= 0)
            status = 1;
    }

    // The lab goes whatever happened above; a second signal does not cut this short.
    const int down = run({script, "down"}, 120, false);
    if (down != 0)
        std::fprintf(stderr,
                     "lab session: `%s down` failed (status %d); namespaces %s-* may be left\n",
                     script.c_str(), down, prefix.c_str());
    if (status == 0 && down == 0)
        removeTree(runRoot);
    else
        std::fprintf(stderr, "lab session: simulator logs kept in %s/lab\n", runRoot.c_str());
    return status == 0 && down != 0 ? 1 : status;
}

} // namespace varnetix::lab
