#include "platform/station_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

namespace varnetix {

namespace {

QString defaultLockDir() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

// Two copies in two directories are two stations, each with its own database.
QString lockName(const QString& executableDir) {
    const QDir dir(executableDir);
    const QString canonical = dir.canonicalPath();
    const QByteArray key = (canonical.isEmpty() ? dir.absolutePath() : canonical).toUtf8();
    return QStringLiteral("varnetix-nms-%1.lock")
        .arg(QString::fromLatin1(
            QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16)));
}

// The layout that `cmake --install` and the Debian package leave: bin/ beside
// share/applications/ holding the station's desktop entry.
bool isInstalled(const QString& executableDir) {
    return QFileInfo::exists(
        QDir(executableDir).filePath(QStringLiteral("../share/applications/varnetix-nms.desktop")));
}

} // namespace

SingleInstance::SingleInstance(const QString& executableDir, const QString& lockDir)
    : m_lock(
          QDir(lockDir.isEmpty() ? defaultLockDir() : lockDir).filePath(lockName(executableDir))) {
    // Staleness is decided by whether the owning process still runs, never by age.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::acquire() {
    return m_lock.tryLock(0);
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
