// Discovery at scale: the station's own code, with the Linux ARP lookup, pages a lab of N
// simulated elements (each in its own namespace, with its own MAC) and stores their answers.
// Prints how many were stored, how long the answers took from the request to the last stored
// one, and how long the element tree takes to rebuild from the resulting database.
//
//   bench_lab_discovery [N]     N elements, default 50 (as root; tools/bench-lab-discovery
//                               runs it for several sizes)
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/ini_store.h"
#include "fake_dialogs.h"
#include "platform/linux_echo_probe.h"
#include "platform/mac_resolver.h"
#include "station/discovery.h"
#include "station/element_tree_controller.h"
#include "station/feedback_handler.h"
#include "tools/lab_session.h"
#include "ui/main_window.h"
#include "ui/station_startup.h"

namespace {

int elementCount(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;
    return count > 0 ? count : 50;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

int inside(int count) {
    QTemporaryDir dir;
    FakeDialogs dialogs;
    varnetix::LinuxMacResolver resolver;
    varnetix::LinuxEchoProbe probe;
    varnetix::StationSettings settings; // the station's own, except where its database lives
    settings.databasePath = dir.filePath(QStringLiteral("nms.ini")).toStdString();
    varnetix::SingleInstance instance(settings.databasePath, settings.localPort);
    int exitCode = 0;
    const varnetix::StationWindow started =
        varnetix::startStation(settings, dialogs, resolver, probe, instance, exitCode);
    const auto& station = started.station;
    const auto& window = started.window;
    if (!window) {
        std::fprintf(stderr, "bench: the station did not start\n");
        return 1;
    }
    window->show();

    QElapsedTimer clock;
    qint64 requestAt = -1;
    qint64 firstStoredAt = -1;
    qint64 lastStoredAt = -1;
    int handled = 0;
    auto* discovery = station->findChild<varnetix::Discovery*>();
    auto* feedback = station->findChild<varnetix::FeedbackHandler*>();
    QObject::connect(discovery, &varnetix::Discovery::runStarted, discovery,
                     [&] { requestAt = clock.nsecsElapsed(); }); // right after the request left
    QObject::connect(feedback, &varnetix::FeedbackHandler::packetFinished, feedback, [&] {
        if (!discovery->awaitingAnswers())
            return;
        ++handled;
        if (firstStoredAt < 0)
            firstStoredAt = clock.nsecsElapsed();
        lastStoredAt = clock.nsecsElapsed();
    });
    dialogs.boxes.clear();
    dialogs.answers.enqueue(true);
    clock.start();
    window->findChild<QAction*>(QStringLiteral("Toolbar1Button1"))->trigger();
    const double runMs = double(clock.nsecsElapsed()) / 1e6;

    const auto sections = varnetix::LoadIniSectionsArray(settings.databasePath);
    const int nodes =
        window->findChild<QTreeView*>(QStringLiteral("TreeView1"))->model()->rowCount();
    int errors = 0;
    for (const RecordedBox& box : dialogs.boxes)
        errors += box.icon == RecordedBox::Critical ? 1 : 0;

    std::vector<double> rebuilds;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer rebuild;
        rebuild.start();
        station->findChild<varnetix::ElementTreeController*>()->reload();
        rebuilds.push_back(double(rebuild.nsecsElapsed()) / 1e6);
    }

    std::printf("discovery of %d elements (lab up in %s s)\n", count,
                qgetenv("VARNETIX_LAB_UP_SECONDS").constData());
    std::printf("  answers handled during the wait : %d\n", handled);
    std::printf("  sections stored in nms.ini      : %zu of %d\n", sections.size(), count);
    std::printf("  nodes in the tree after the run : %d\n", nodes);
    std::printf("  error boxes                     : %d\n", errors);
    std::printf("  feedback packets dropped (queue): %zu\n", feedback->dropped());
    if (requestAt >= 0 && lastStoredAt >= 0) {
        std::printf("  request -> first stored answer  : %.1f ms\n",
                    double(firstStoredAt - requestAt) / 1e6);
        std::printf("  request -> last stored answer   : %.1f ms (%.2f ms per answer)\n",
                    double(lastStoredAt - requestAt) / 1e6,
                    double(lastStoredAt - requestAt) / 1e6 / std::max(handled, 1));
    } else
        std::printf("  request -> last stored answer   : no answer stored\n");
    std::printf("  whole run (3000 ms wait + rebuild): %.1f ms\n", runMs);
    std::printf("  tree rebuild (reload)      : median %.2f ms, min %.2f ms over %zu\n",
                median(rebuilds), *std::min_element(rebuilds.begin(), rebuilds.end()),
                rebuilds.size());
    window->close();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const int count = elementCount(argc, argv);
    if (!varnetix::lab::insideLab()) {
        varnetix::lab::LabPlan plan;
        plan.elements = count;
        plan.upTimeoutSeconds = 1200;
        plan.insideTimeoutSeconds = 300;
        const int status = varnetix::lab::runOutside(argc, argv, plan);
        return status == varnetix::lab::kSkipExitCode ? 1 : status;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return inside(count);
}
