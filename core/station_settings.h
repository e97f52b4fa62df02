// What a test may move: ports, the paging destination, the files the station uses and timer
// intervals. The station itself runs with the defaults below and the per-user files main.cpp
// names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/network_check.h"

namespace varnetix {

struct StationSettings {
    std::uint16_t localPort = 2976;   // bound for the whole run; every datagram leaves from it
    std::uint16_t configPort = 2976;  // element's configuration port
    std::uint16_t commandPort = 2977; // attenuation and audio-level requests
    std::uint16_t pagingPort = 1901;
    std::string pagingDestination = "255.255.255.255";
    bool pagingOnEveryInterface = true; // one broadcast per up, broadcast-capable interface
    std::string databasePath;           // full path of nms.ini
    std::string preferencesPath;        // the operator's preferences; "" keeps the defaults
    std::string eventLogDirectory;      // where the event log is written; "" keeps it in memory
    int remoteSentMs = 3000;            // timerRemoteSent: answer time-out of a configuration send
    int macBudgetMs = 5000;   // timerGetMAC: how long the MAC lookup of one packet may take
    int macRetryMs = 50;      // pause between two lookup attempts
    int volumeMs = 50;        // tmrVolume: audio-level polling
    int pingRetryMs = 1000;   // tmrRetryPing: countdown step
    int pagingWaitMs = 3000;  // Timer1 of the discovery window
    int watchSecondMs = 1000; // one second of the watch interval
    int audioSecondMs = 1000; // one second of the silence watch's interval and times
    // --metrics: where this run serves its metrics, whatever the preferences say; "" follows them.
    std::string metricsEndpoint;
    // The station's own networks for the network check; unset: those of its interfaces.
    std::optional<std::vector<Subnet>> stationNetworks;
};

} // namespace varnetix
