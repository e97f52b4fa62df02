#include "station/command_line.h"

#include <QCommandLineParser>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/findings_report.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "core/metrics_endpoint.h"
#include "core/output_file.h"
#include "core/text_escape.h"
#include "station/element_database.h"
#include "station/network_check_controller.h"

using namespace Qt::Literals::StringLiterals;

namespace varnetix {

namespace {

// Exit status of a command that could not do its work.
constexpr int kFailed = 2;

// Qt's own window options (QGuiApplication's, QApplication's and the X11 platform's), with one
// dash or two, a value after them or after "=": how many arguments the one at i takes, 0 when
// it is none of them.
qsizetype qtOptionLength(const QStringList& arguments, qsizetype i) {
    static const QStringList withValue{u"platform"_s,
                                       u"platformpluginpath"_s,
                                       u"platformtheme"_s,
                                       u"plugin"_s,
                                       u"qwindowgeometry"_s,
                                       u"geometry"_s,
                                       u"qwindowtitle"_s,
                                       u"title"_s,
                                       u"qwindowicon"_s,
                                       u"icon"_s,
                                       u"session"_s,
                                       u"style"_s,
                                       u"stylesheet"_s,
                                       u"display"_s,
                                       u"name"_s,
                                       u"visual"_s,
                                       u"qmljsdebugger"_s};
    static const QStringList flags{u"reverse"_s, u"widgetcount"_s, u"testability"_s,
                                   u"nograb"_s,  u"dograb"_s,      u"sync"_s};
    QStringView option = arguments[i];
    if (option.startsWith(u"--"))
        option = option.mid(1);
    if (!option.startsWith(u'-'))
        return 0;
    option = option.mid(1);
    if (const qsizetype equals = option.indexOf(u'='); equals > 0)
        return withValue.contains(option.left(equals)) ? 1 : 0;
    if (flags.contains(option))
        return 1;
    return withValue.contains(option) && i + 1 < arguments.size() ? 2 : 0;
}

// The program's name and the arguments that are not Qt's window options (up to "--"); the
// positions of those that are go to qtOptions.
QStringList withoutQtOptions(const QStringList& arguments, QList<qsizetype>& qtOptions) {
    QStringList ours{u"varnetix-nms"_s};
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const qsizetype length = ours.contains(u"--"_s) ? 0 : qtOptionLength(arguments, i);
        for (qsizetype k = 0; k < length; ++k)
            qtOptions << i + k;
        if (length == 0)
            ours << arguments[i];
        else
            i += length - 1;
    }
    return ours;
}

// The unknown option as it was written, without a value after "=".
QString writtenOption(const QStringList& arguments, const QString& name) {
    for (const QString& argument : arguments) {
        if (argument == u"--")
            break;
        const QString written = argument.section(u'=', 0, 0);
        if (written.startsWith(u'-') &&
            QStringView(written).mid(written.startsWith(u"--") ? 2 : 1) == name)
            return written;
    }
    return u"--"_s + name;
}

// The database as the station reads it; nullopt, after saying why, when it is missing or
// cannot be read: a script must not take another database's silence for an all clear.
std::optional<IniDocument> readDatabase(const std::string& path, std::FILE* err) {
    IniLoad load = ElementDatabase(path).current();
    if (load.state == FileState::Loaded)
        return std::move(load.document);
    const std::string reason =
        load.state == FileState::Missing ? std::strerror(ENOENT) : load.result.reason;
    printLine(err, u"varnetix-nms: the database %1 cannot be read: %2"_s.arg(
                       QString::fromStdString(path), QString::fromStdString(reason)));
    return std::nullopt;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    const QStringList ours = withoutQtOptions(arguments, line.qtOptions);
    QCommandLineParser parser;
    // -help and -version as their long forms, as Qt's own options have one dash.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{u"h"_s, u"help"_s}),
        version(QStringList{u"v"_s, u"version"_s}), check(u"check-network"_s),
        exportCsv(u"export-csv"_s, {}, u"FILE"_s), database(u"database"_s, {}, u"PATH"_s),
        format(u"format"_s, {}, u"FORMAT"_s), strict(u"strict"_s), discover(u"discover"_s),
        headless(u"headless"_s), metrics(u"metrics"_s, {}, u"ENDPOINT"_s);
    parser.addOptions(
        {help, version, check, exportCsv, database, format, strict, discover, headless, metrics});
    const bool parsed = parser.parse(ours);
    const auto invalid = [&line](const QString& problem) {
        line.command = CommandLine::Command::Invalid;
        line.problem = problem;
        return line;
    };
    if (parser.isSet(help)) {
        line.command = CommandLine::Command::Help;
        return line;
    }
    if (!parser.unknownOptionNames().isEmpty())
        return invalid(
            u"unknown option %1"_s.arg(writtenOption(ours, parser.unknownOptionNames().first())));
    if (!parsed)
        return invalid(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return invalid(u"unexpected argument %1"_s.arg(parser.positionalArguments().first()));

    QStringList commands;
    for (const QCommandLineOption* option : {&version, &check, &exportCsv, &discover, &headless}) {
        if (parser.isSet(*option))
            commands << u"--"_s + option->names().last();
    }
    if (commands.size() > 1)
        return invalid(u"%1 and %2 cannot be given together"_s.arg(commands[0], commands[1]));
    if (parser.isSet(database) && parser.value(database).isEmpty())
        return invalid(u"--database needs a file"_s);
    line.database = parser.value(database);
    for (const QCommandLineOption* option : {&format, &strict}) {
        if (parser.isSet(*option) && !parser.isSet(check))
            return invalid(u"--%1 goes with --check-network"_s.arg(option->names().first()));
    }
    // The metrics are served by a running station, window or headless.
    if (parser.isSet(metrics) && !commands.isEmpty() && !parser.isSet(headless))
        return invalid(u"%1 and --metrics cannot be given together"_s.arg(commands[0]));
    line.metrics = parser.value(metrics);
    if (parser.isSet(metrics) && !ParseMetricsEndpoint(line.metrics.toStdString()))
        return invalid(u"--metrics needs %1, not '%2'"_s.arg(QLatin1String(kMetricsEndpointForm),
                                                             line.metrics));
    line.strict = parser.isSet(strict);
    line.json = parser.value(format) == u"json";
    if (parser.isSet(format) && !line.json && parser.value(format) != u"text")
        return invalid(u"--format is text or json, not %1"_s.arg(parser.value(format)));

    if (parser.isSet(version)) {
        line.command = CommandLine::Command::Version;
    } else if (parser.isSet(check)) {
        line.command = CommandLine::Command::CheckNetwork;
    } else if (parser.isSet(headless)) {
        line.command = CommandLine::Command::Headless;
        if (!line.qtOptions.isEmpty())
            return invalid(u"--headless has no window: %1 is a window option"_s.arg(
                arguments[line.qtOptions.first()]));
    } else if (parser.isSet(exportCsv)) {
        line.command = CommandLine::Command::ExportCsv;
        line.exportTarget = parser.value(exportCsv);
        if (line.exportTarget.isEmpty())
            return invalid(u"--export-csv needs a file, or - for the standard output"_s);
    } else if (parser.isSet(discover)) {
        line.command = CommandLine::Command::Discover;
    }
    return line;
}

QString commandLineHelp() {
    return QStringLiteral(
        "Usage: varnetix-nms [--database PATH] [--metrics [ADDRESS:]PORT]\n"
        "                    [Qt's window options]\n"
        "       varnetix-nms --headless [--database PATH] [--metrics [ADDRESS:]PORT]\n"
        "       varnetix-nms --check-network [--format text|json] [--strict] [--database PATH]\n"
        "       varnetix-nms --export-csv FILE [--database PATH]\n"
        "       varnetix-nms --discover [--database PATH]\n"
        "       varnetix-nms --help | --version\n"
        "Network management station of the Varnetix IP studio-to-transmitter audio link.\n"
        "Without a command the station's window opens; Qt's window options (-platform NAME,\n"
        "-style NAME, ...) apply to it.\n"
        "\n"
        "  --headless         run the station without a display: it watches every element and\n"
        "                     writes every event line to its log and to standard error (with a\n"
        "                     syslog priority first under systemd); boxes become log lines and\n"
        "                     questions take their default answer\n"
        "  --check-network    print the network check's findings, one per line, severity first\n"
        "    --format FORMAT  text (the default) or json: one JSON document\n"
        "    --strict         exit status 1 on warnings too\n"
        "  --export-csv FILE  write the database as a CSV inventory to FILE (- for the standard\n"
        "                     output); a device, FIFO or terminal is written in place\n"
        "  --discover         run one discovery, as confirmed in the window, and print each\n"
        "                     element found (MAC, name, address, role, separated by tabs) and\n"
        "                     the summary; when no element answers, the database stays as it was\n"
        "  --database PATH    use this database instead of the station's own\n"
        "  --metrics [ADDRESS:]PORT\n"
        "                     serve Prometheus metrics at http://ADDRESS:PORT/metrics for this\n"
        "                     run, whatever the preferences say (ADDRESS 127.0.0.1 if left out)\n"
        "  -h, --help         show this text\n"
        "  -v, --version      show the version\n"
        "  --                 end of the options\n"
        "\n"
        "SIGTERM and SIGINT end the station cleanly (the end line logged, exit status 0);\n"
        "headless, SIGHUP reads the preferences again and starts a new log file where the old\n"
        "one was moved away.\n"
        "\n"
        "Exit status: 0 done (--check-network: no errors found; --discover: elements found and\n"
        "stored; a station ended by a signal); 1 --check-network found errors (with --strict, any\n"
        "finding), --discover found no element, or the station could not start (another one\n"
        "runs, the port is taken); 2 a wrong command line, a database that is missing or cannot\n"
        "be read (or, for --discover, written), output that cannot be written, or for\n"
        "--discover a station already running or a failed run.\n"
        "\n"
        "The commands use the database a station started the same way would use and need no\n"
        "display. --check-network and --export-csv never write the database and work while a\n"
        "station runs; --discover takes the station's place (its lock and UDP port 2976) for\n"
        "one run. Control characters in what they print are written as \\xHH.\n");
}

int reportNetworkCheck(const std::string& databasePath, const std::vector<Subnet>& subnets,
                       CheckOptions options, std::FILE* out, std::FILE* err) {
    const std::optional<IniDocument> database = readDatabase(databasePath, err);
    if (!database)
        return kFailed;
    const std::vector<Finding> findings =
        checkNetwork(*database, subnets, lastDiscoveryAnswers(databasePath));
    const std::string text =
        options.json ? findingsJson(databasePath, *database, findings) : findingsText(findings);
    if (writeOut(text, out, err) != 0)
        return kFailed;
    const bool failed = std::any_of(findings.begin(), findings.end(), [&](const Finding& f) {
        return options.strict || findingSeverity(f.kind) == Severity::Error;
    });
    return failed ? 1 : 0;
}

int exportInventoryCsv(const std::string& databasePath, const QString& target, std::FILE* out,
                       std::FILE* err) {
    const std::optional<IniDocument> database = readDatabase(databasePath, err);
    if (!database)
        return kFailed;
    const std::string csv = inventoryCsv(*database);
    if (target == u"-")
        return writeOut(csv, out, err);
    const StoreResult written = WriteOutputFile(QFile::encodeName(target).toStdString(), csv);
    if (written.ok())
        return 0;
    printLine(err, u"varnetix-nms: cannot write %1: %2"_s.arg(
                       target, QString::fromStdString(written.reason)));
    return kFailed;
}

int writeOut(const std::string& text, std::FILE* out, std::FILE* err) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0)
        return 0;
    const int error = errno != 0 ? errno : EIO;
    printLine(err, u"varnetix-nms: cannot write the standard output: %1"_s.arg(
                       QString::fromLocal8Bit(std::strerror(error))));
    return kFailed;
}

void printLine(std::FILE* stream, const QString& text) {
    const QByteArray bytes = terminalText(text) + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

QByteArray terminalText(const QString& text) {
    return QByteArray::fromStdString(EscapeControls(text.toStdString()));
}

} // namespace varnetix
