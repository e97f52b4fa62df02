#include "core/output_file.h"

#include "core/database_file.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnetix {

namespace {

// SIGPIPE held back while it lives, and one it caused dropped, so that the write sees EPIPE.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~PipeSignalHeld() {
        if (!m_wasPending) {
            const timespec now{};
            while (sigtimedwait(&m_pipe, nullptr, &now) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    PipeSignalHeld(const PipeSignalHeld&) = delete;
    PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

private:
    sigset_t m_pipe{}, m_old{};
    bool m_wasPending = false;
};

// A reader that goes away ends the write with EPIPE, not the program.
int writeAllHoldingPipeSignal(int fd, std::string_view content) {
    const PipeSignalHeld held;
    return writeAll(fd, content);
}

// The standard output or error when the path leads to the same file, else -1.
int standardDescriptorOf(const struct stat& file) {
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat standard {};
        if (::fstat(fd, &standard) == 0 && standard.st_dev == file.st_dev &&
            standard.st_ino == file.st_ino)
            return fd;
    }
    return -1;
}

} // namespace

StoreResult WriteOutputFile(const std::string& path, std::string_view content) {
    struct stat file {};
    const bool exists = ::stat(path.c_str(), &file) == 0;
    int fd = exists ? standardDescriptorOf(file) : -1;
    const bool standard = fd >= 0;
    if (!standard && (!exists || S_ISREG(file.st_mode) || S_ISDIR(file.st_mode)))
        return WriteFileAtomically(path, content);
    // Renaming a file over a device or a FIFO would replace it, and its reader would get nothing.
    if (!standard)
        fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return StoreResult::failure(errno, path);
    int error = writeAllHoldingPipeSignal(fd, content);
    if (!standard && ::close(fd) != 0 && error == 0)
        error = errno;
    return error == 0 ? StoreResult{} : StoreResult::failure(error, path);
}

} // namespace varnetix
