#include "platform/station_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "core/database_file.h"

namespace varnetix {

namespace {

// Beside the database's real file, so that every name of the database finds the same lock.
std::string lockFileOf(const std::string& databasePath) {
    std::string target;
    if (!resolveLinkTarget(databasePath, target).ok())
        target = databasePath;
    return target + ".lock";
}

// The layout that `cmake --install` and the Debian package leave: bin/ beside
// share/applications/ holding the station's desktop entry.
bool isInstalled(const QString& executableDir) {
    return QFileInfo::exists(
        QDir(executableDir).filePath(QStringLiteral("../share/applications/varnetix-nms.desktop")));
}

} // namespace

SingleInstance::SingleInstance(std::string databasePath, quint16 port)
    : m_databasePath(std::move(databasePath)), m_port(port) {}

SingleInstance::~SingleInstance() {
    release();
}

QString SingleInstance::lockPath() const {
    return QString::fromStdString(lockFileOf(m_databasePath));
}

bool SingleInstance::acquire() {
    release();
    const std::string lock = lockFileOf(m_databasePath);
    m_lockFd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (m_lockFd < 0)
        m_lockFd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
    // Where no lock can be made, nothing can be stored either: the port still tells.
    if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        release();
        return false;
    }
    if (m_port == 0)
        return true;
    m_portFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_portFd < 0)
        return true;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // The leading zero byte makes the name abstract: no file, gone with the last socket.
    const std::string name = "varnetix-nms-" + std::to_string(m_port);
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(m_portFd, reinterpret_cast<const sockaddr*>(&address), length) != 0 &&
        errno == EADDRINUSE) {
        release();
        return false;
    }
    return true;
}

void SingleInstance::release() {
    for (int* fd : {&m_lockFd, &m_portFd}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

QString databasePathFor(const QString& executableDir, bool create) {
    const QByteArray dir = QFile::encodeName(executableDir);
    // An installed program is shared by every user of the machine, each with a database of
    // their own, also where bin/ happens to be writable (root, a prefix in the user's home).
    if (!isInstalled(executableDir) && ::access(dir.constData(), W_OK) == 0)
        return QDir(executableDir).filePath(QStringLiteral("nms.ini"));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (create)
        QDir().mkpath(data);
    return QDir(data).filePath(QStringLiteral("nms.ini"));
}

} // namespace varnetix
