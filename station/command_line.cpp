#include "station/command_line.h"

#include <QSaveFile>

#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "station/network_check_controller.h"

namespace varnetix {

namespace {

// Exit status of a command that could not do its work.
constexpr int kFailed = 2;

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// The database as the station reads it; nullopt, after saying why, when it cannot be read.
std::optional<IniDocument> readDatabase(const std::string& path, std::FILE* err) {
    IniLoad load = readIniFile(path);
    if (load.state != FileState::Unreadable)
        return std::move(load.document);
    print(err, QStringLiteral("varnetix-nms: the database %1 cannot be read: %2\n")
                   .arg(QString::fromStdString(load.result.path),
                        QString::fromStdString(load.result.reason)));
    return std::nullopt;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    const auto choose = [&line](CommandLine::Command command, const QString& option) {
        if (line.command != CommandLine::Command::Window) {
            line.command = CommandLine::Command::Invalid;
            line.problem = QStringLiteral("%1 cannot be given with another command").arg(option);
            return false;
        }
        line.command = command;
        return true;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        bool ok = true;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            ok = choose(CommandLine::Command::Help, argument);
        } else if (argument == QLatin1String("--version")) {
            ok = choose(CommandLine::Command::Version, argument);
        } else if (argument == QLatin1String("--check-network")) {
            ok = choose(CommandLine::Command::CheckNetwork, argument);
        } else if (argument == QLatin1String("--export-csv") ||
                   argument.startsWith(QLatin1String("--export-csv="))) {
            ok = choose(CommandLine::Command::ExportCsv, QStringLiteral("--export-csv"));
            const qsizetype equals = argument.indexOf(QLatin1Char('='));
            if (equals >= 0)
                line.exportTarget = argument.mid(equals + 1);
            else if (i + 1 < arguments.size())
                line.exportTarget = arguments[++i];
            if (ok && line.exportTarget.isEmpty()) {
                line.command = CommandLine::Command::Invalid;
                line.problem = QStringLiteral("--export-csv needs a file, or - for the standard "
                                              "output");
            }
        } else if (argument.startsWith(QLatin1String("--"))) {
            line.command = CommandLine::Command::Invalid;
            line.problem = QStringLiteral("unknown option %1").arg(argument);
        }
        if (!ok || line.command == CommandLine::Command::Invalid)
            return line;
    }
    return line;
}

QString commandLineHelp() {
    return QStringLiteral(
        "Usage: varnetix-nms [--check-network | --export-csv FILE | --help | --version]\n"
        "Network management station of the Varnetix IP studio-to-transmitter audio link.\n"
        "Without an option the station's window opens.\n"
        "\n"
        "  --check-network    print the network check's findings for the station's database,\n"
        "                     one per line, severity first; exit status 0 without findings,\n"
        "                     1 with findings, 2 when the database cannot be read\n"
        "  --export-csv FILE  write the database as a CSV inventory to FILE (- for the\n"
        "                     standard output); exit status 0, or 2 when it cannot be written\n"
        "  --help             show this text\n"
        "  --version          show the version\n"
        "\n"
        "Both commands read the database a station started from the same place would use, need\n"
        "no display and never write the database; they work while a station runs.\n");
}

int reportNetworkCheck(const std::string& databasePath, const std::vector<Subnet>& subnets,
                       std::FILE* out, std::FILE* err) {
    const std::optional<IniDocument> database = readDatabase(databasePath, err);
    if (!database)
        return kFailed;
    const std::vector<Finding> findings =
        checkNetwork(*database, subnets, lastDiscoveryAnswers(databasePath));
    for (const Finding& finding : findings) {
        const std::string line = findingLine(finding) + '\n';
        std::fwrite(line.data(), 1, line.size(), out);
    }
    return findings.empty() ? 0 : 1;
}

int exportInventoryCsv(const std::string& databasePath, const QString& target, std::FILE* out,
                       std::FILE* err) {
    const std::optional<IniDocument> database = readDatabase(databasePath, err);
    if (!database)
        return kFailed;
    const std::string csv = inventoryCsv(*database);
    if (target == QLatin1String("-")) {
        if (std::fwrite(csv.data(), 1, csv.size(), out) != csv.size() || std::fflush(out) != 0) {
            print(err, QStringLiteral("varnetix-nms: the inventory could not be written\n"));
            return kFailed;
        }
        return 0;
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != qint64(csv.size()) ||
        !file.commit()) {
        print(
            err,
            QStringLiteral("varnetix-nms: cannot write %1: %2\n").arg(target, file.errorString()));
        return kFailed;
    }
    return 0;
}

} // namespace varnetix
