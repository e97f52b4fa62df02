// The command line of varnetix-element-sim; kept apart from main() so that tests read
// command lines exactly as the program does.
#pragma once

#include "tools/element_sim/element_simulator.h"

#include <QCommandLineParser>
#include <QString>

namespace varnetix::sim {

// What --help prints above the option list.
QString simulatorDescription();

void addSimulatorOptions(QCommandLineParser& parser);

// Fills the options from a parsed command line, role-dependent defaults included. Returns
// false with a one-line reason for a value out of range.
bool readSimulatorOptions(const QCommandLineParser& parser, SimulatorOptions& options,
                          QString* error);

} // namespace varnetix::sim
