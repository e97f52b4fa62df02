// The station's command line: what a script asks of it without a window. These commands need
// no display, bind no port, take no single-instance lock and never write the database, so they
// work while a station runs.
#pragma once

#include <QStringList>
#include <cstdio>
#include <string>
#include <vector>

#include "core/network_check.h"

namespace varnetix {

struct CommandLine {
    enum class Command { Window, Help, Version, CheckNetwork, ExportCsv, Invalid };
    Command command = Command::Window;
    QString exportTarget; // a file, or "-" for standard output
    QString problem;      // what is wrong with an invalid command line
};

// Reads the arguments after the program's name. Options of Qt's own (one dash, such as
// -platform xcb) and other words are left to the window.
CommandLine parseCommandLine(const QStringList& arguments);
QString commandLineHelp();

// The network check's findings, one per line with the severity first. 0 without findings, 1
// with findings, 2 when the database cannot be read.
int reportNetworkCheck(const std::string& databasePath, const std::vector<Subnet>& subnets,
                       std::FILE* out, std::FILE* err);
// The database as a CSV inventory. 0 when it is written, 2 when it cannot be.
int exportInventoryCsv(const std::string& databasePath, const QString& target, std::FILE* out,
                       std::FILE* err);

} // namespace varnetix
