// Network namespaces that a test creates for its own test hosts and always removes again.
// Needs root and the `ip` tool; unavailableReason() says why a test has to skip.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <unistd.h>

class TestNamespaces {
public:
    TestNamespaces() = default;
    TestNamespaces(const TestNamespaces&) = delete;
    TestNamespaces& operator=(const TestNamespaces&) = delete;
    ~TestNamespaces() { removeAll(); }

    static QString ipTool() {
        QString path = QStandardPaths::findExecutable(QStringLiteral("ip"));
        if (path.isEmpty()) {
            path = QStandardPaths::findExecutable(
                QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        }
        return path;
    }

    static QString unavailableReason() {
        if (::geteuid() != 0)
            return QStringLiteral("needs root to create network namespaces");
        if (ipTool().isEmpty())
            return QStringLiteral("needs the `ip` tool (iproute2) to create network namespaces");
        return {};
    }

    // A helper program built next to the station (the build's bin directory).
    static QString helperProgram(const QString& name) {
        QString bin = qEnvironmentVariable("VARNETIX_BUILD_BIN");
        if (bin.isEmpty())
            bin = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
        return QFileInfo(QDir(bin), name).absoluteFilePath();
    }

    // Creates "vtx-<role>-<pid>"; empty on failure.
    QString create(const QString& role) {
        const QString name =
            QStringLiteral("vtx-%1-%2").arg(role).arg(QCoreApplication::applicationPid());
        if (QFileInfo::exists(QStringLiteral("/run/netns/") + name)) // left over by a crash
            runIp({QStringLiteral("netns"), QStringLiteral("del"), name});
        if (!runIp({QStringLiteral("netns"), QStringLiteral("add"), name}))
            return {};
        m_names << name;
        if (!runIp({QStringLiteral("-n"), name, QStringLiteral("link"), QStringLiteral("set"),
                    QStringLiteral("lo"), QStringLiteral("up")}))
            return {};
        return name;
    }

    void removeAll() {
        // Deleting a namespace also deletes the interfaces inside it (both ends of a veth).
        for (const QString& name : std::as_const(m_names))
            runIp({QStringLiteral("netns"), QStringLiteral("del"), name});
        m_names.clear();
    }

    // `ip -n <ns> <args...>`
    bool ipIn(const QString& ns, const QString& args, QString* output = nullptr) {
        return runIp(QStringList{QStringLiteral("-n"), ns} +
                         args.split(QLatin1Char(' '), Qt::SkipEmptyParts),
                     output);
    }

    // Runs a program inside the namespace and collects its standard output.
    bool exec(const QString& ns, const QStringList& command, QString* output = nullptr,
              int timeoutMs = 15000) {
        return run(ipTool(),
                   QStringList{QStringLiteral("netns"), QStringLiteral("exec"), ns} + command,
                   output, timeoutMs);
    }

    QString lastError() const { return m_lastError; }

private:
    bool runIp(const QStringList& args, QString* output = nullptr) {
        return run(ipTool(), args, output, 15000);
    }

    bool run(const QString& program, const QStringList& args, QString* output, int timeoutMs) {
        QProcess process;
        process.start(program, args);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill(); // our own child, by its handle
            process.waitForFinished(2000);
            m_lastError = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) +
                          QStringLiteral(": did not finish");
            return false;
        }
        if (output)
            *output = QString::fromLocal8Bit(process.readAllStandardOutput());
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
            m_lastError = args.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                          QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
            return false;
        }
        return true;
    }

    QStringList m_names;
    QString m_lastError;
};
