// What makes one station per database and port, and where the database lives.
#pragma once

#include <QString>
#include <string>

namespace varnetix {

// One running station per database and per UDP port: a second one would read and clean the
// first one's files, or fail to bind its port. Each claim is held for the station's lifetime
// and let go by the kernel when the process ends, however it ends, so none is ever stale:
// - a lock on "<database>.lock" beside the database's real file (a symbolic link leads there);
// - an abstract Unix socket "varnetix-nms-<port>", whose scope, like the port's, is the network
//   namespace. Port 0 (any free port) collides with nothing and is not claimed.
class SingleInstance {
public:
    SingleInstance(std::string databasePath, quint16 port);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False while another station holds either claim; this one then holds neither.
    bool acquire();
    QString lockPath() const;

private:
    void release();

    std::string m_databasePath;
    quint16 m_port;
    int m_lockFd = -1;
    int m_portFd = -1;
};

// nms.ini beside the executable; for an installed program (bin/ beside
// share/applications/varnetix-nms.desktop), or where that directory cannot be written, in the
// user's data directory, which is created unless `create` is false (a reader of the database
// leaves no trace).
QString databasePathFor(const QString& executableDir, bool create = true);

} // namespace varnetix
