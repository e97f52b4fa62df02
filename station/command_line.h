// The station's command line: the window's options, and what a script asks of the station
// without a window. The commands need no display. Those that read the database bind no port,
// take no single-instance lock and never write it, so they work while a station runs; a
// discovery (station/discovery_command.h) is a station of its own for one run.
#pragma once

#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "core/network_check.h"

namespace varnetix {

struct CommandLine {
    enum class Command {
        Window,
        Headless,
        Help,
        Version,
        CheckNetwork,
        ExportCsv,
        Discover,
        Invalid
    };
    Command command = Command::Window;
    QString database;     // --database, "" for the station's own
    QString metrics;      // --metrics [ADDRESS:]PORT, "" for the preferences' endpoint
    QString exportTarget; // a file, or "-" for standard output
    bool json = false;    // --format json
    bool strict = false;  // warnings fail the check too
    QString problem;      // what is wrong with an invalid command line
    // Positions in the arguments of Qt's own window options (-platform xcb, -style=fusion, ...)
    // and their values: the window's QApplication is given these and nothing else.
    QList<qsizetype> qtOptions;
};

// Reads the arguments after the program's name. Qt's window options are set aside first, the
// rest is read by QCommandLineParser: an unknown option or a stray word makes the line invalid,
// --help wins over everything, "--" ends the options.
CommandLine parseCommandLine(const QStringList& arguments);
QString commandLineHelp();

struct CheckOptions {
    bool json = false;
    bool strict = false;
};
// The network check's findings, as text (one line each, severity first) or one JSON document.
// 0 without errors (or, with strict, without findings), 1 otherwise, 2 when the database is
// missing or cannot be read or the output cannot be written.
int reportNetworkCheck(const std::string& databasePath, const std::vector<Subnet>& subnets,
                       CheckOptions options, std::FILE* out, std::FILE* err);
// The database as a CSV inventory. 0 when it is written, 2 when it cannot be.
int exportInventoryCsv(const std::string& databasePath, const QString& target, std::FILE* out,
                       std::FILE* err);

// 0, or 2 after saying why the standard output took not all of the text.
int writeOut(const std::string& text, std::FILE* out, std::FILE* err);
// The text with its control characters written as \xHH, for a terminal.
QByteArray terminalText(const QString& text);
// A line for the terminal (terminalText), ended by LF.
void printLine(std::FILE* stream, const QString& text);

} // namespace varnetix
