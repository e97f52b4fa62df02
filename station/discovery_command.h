// varnetix-nms --discover: one discovery as the window runs it once the operator has confirmed
// it (the dated backup, the comparison, the network check), for a script or a timer on a
// machine with no display. The command is its own confirmation.
#pragma once

#include <cstdio>

#include "core/station_settings.h"
#include "platform/echo_probe.h"
#include "platform/mac_resolver.h"
#include "platform/station_instance.h"

namespace varnetix {

// Takes the single-instance claims and the port, runs one discovery, and prints each element
// found (MAC, name, address and role, separated by tabs, in the order of the MACs) and the
// summary. 0 when elements answered and were stored; 1 when none answered: then the database is
// left as it was, and where there was none, none is made. 2, after saying why on err, when
// another station runs, the database cannot be written or the run failed.
int discoverFromCommandLine(const StationSettings& settings, MacResolver& resolver,
                            EchoProbe& probe, SingleInstance& instance, std::FILE* out,
                            std::FILE* err);

} // namespace varnetix
