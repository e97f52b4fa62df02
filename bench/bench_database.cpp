// The database side at scale: an nms.ini of many element records (10,000 by default, written by
// a generator), the station's tree rebuild (reload) and element load (loadElement) on it,
// beside the same work done the straightforward way, with the store re-reading the file for
// every value (ReadFromINI per value). Slow figures are timed on a sample and extrapolated.
//
//   bench_database [RECORDS]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/element_record.h"
#include "core/element_tree.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "sample_database.h"

#include "core/text_procedures.h"
#include "fake_dialogs.h"
#include "platform/echo_probe.h"
#include "platform/mac_resolver.h"
#include "station/element_tree_controller.h"
#include "station/element_view.h"
#include "ui/main_window.h"

using varnetix::bench::generateDatabase;
using varnetix::bench::sectionName;

namespace {

class NoMacResolver : public varnetix::MacResolver {
public:
    bool LookupMac(const std::string&, std::string&, const std::string&) override { return false; }
};

class NoEchoProbe : public varnetix::EchoProbe {
public:
    bool StartSockets() override { return false; }
    void StopSockets() override {}
    bool start(const QString&) override { return false; }
    bool busy() const override { return false; }
};

template <typename Work> std::vector<double> timeRuns(int runs, Work work) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        work(i);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    return ms;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Average time of one call, from as many calls as fit in the budget (at least `minimum`).
template <typename Call>
double perCallMs(Call call, double budgetMs, int minimum, int maximum, int* calls) {
    QElapsedTimer clock;
    clock.start();
    int n = 0;
    while (n < maximum && (n < minimum || double(clock.nsecsElapsed()) / 1e6 < budgetMs))
        call(n++);
    *calls = n;
    return double(clock.nsecsElapsed()) / 1e6 / n;
}

const char* keysOfOneElement[] = {"name", "ip",    "mask", "gw",   "remote", "input", "type", "tx",
                                  "ver",  "bound", "sfn",  "role", "att",    "buf",   "sn"};

// The command a script runs: `varnetix-nms --export-csv -` beside this database, whole
// program start to exit, and the CSV of the core alone.
void printExportFigures(const QTemporaryDir& dir, const std::string& text) {
    const QString beside = dir.filePath(QStringLiteral("export"));
    QDir().mkpath(beside);
    const QString program = QDir(beside).filePath(QStringLiteral("varnetix-nms"));
    const QString built =
        qEnvironmentVariable("VARNETIX_BUILD_BIN", QStringLiteral(VARNETIX_BUILD_BIN)) +
        QStringLiteral("/varnetix-nms");
    if (!QFile::copy(built, program) ||
        !varnetix::WriteFileAtomically(
             QDir(beside).filePath(QStringLiteral("nms.ini")).toStdString(), text)
             .ok()) {
        std::printf("export: cannot place %s beside a copy of the database\n", qPrintable(built));
        return;
    }
    const std::vector<double> core = timeRuns(5, [&](int) {
        const auto csv = varnetix::inventoryCsv(varnetix::IniDocument::parse(text));
        (void)csv;
    });
    qint64 bytes = 0;
    const std::vector<double> command = timeRuns(5, [&](int) {
        QProcess run;
        run.start(program, {QStringLiteral("--export-csv"), QStringLiteral("-")});
        run.waitForFinished(30000);
        bytes = run.readAllStandardOutput().size();
    });
    std::printf("export: `varnetix-nms --export-csv -` median %.1f ms (%lld bytes of CSV); the "
                "inventory alone (parse and CSV) %.1f ms\n",
                median(command), static_cast<long long>(bytes), median(core));
}

} // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 10000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("nms.ini")).toStdString();
    const std::string text = generateDatabase(records);
    if (!varnetix::WriteFileAtomically(path, text).ok()) {
        std::fprintf(stderr, "bench: cannot write %s\n", path.c_str());
        return 1;
    }

    FakeDialogs dialogs;
    NoMacResolver resolver;
    NoEchoProbe probe;
    varnetix::StationSettings settings;
    settings.databasePath = path;
    settings.localPort = 0;
    varnetix::Station built(settings, dialogs, resolver, probe);
    varnetix::MainWindow window(built);
    auto* treeController = &built.tree();
    auto* view = &built.view();

    // The station: one reading of the file per rebuild and per element loaded.
    const std::vector<double> rebuild = timeRuns(7, [&](int) { treeController->reload(); });
    const int nodes =
        window.findChild<QTreeView*>(QStringLiteral("TreeView1"))->model()->rowCount();
    const std::vector<double> model = timeRuns(7, [&](int) {
        const auto tree = varnetix::BuildElementTree(varnetix::IniDocument::load(path), true);
        (void)tree;
    });
    std::mt19937 random(2976);
    std::uniform_int_distribution<int> pick(0, records - 1);
    const std::vector<double> click = timeRuns(50, [&](int) {
        view->loadElement(
            QString::fromStdString(varnetix::MacWithColons(sectionName(pick(random)))));
    });

    // Straightforward: the section list in one reading, then name and role of every section,
    // each value a reading of the whole file.
    const auto listMs = timeRuns(3, [&](int) {
        std::vector<std::string> list;
        varnetix::LoadIniSectionsLB(list, path);
    });
    int readCalls = 0;
    const double readMs = perCallMs(
        [&](int n) {
            const std::string section = sectionName(n / 2 % records);
            (void)varnetix::ReadFromINI(section, n % 2 ? "role" : "name", path, "");
        },
        3000.0, 4, 2 * records, &readCalls);
    const double straightRebuildMs = median(listMs) + readMs * 2.0 * records;
    const double straightClickMs = readMs * double(std::size(keysOfOneElement));

    const double station = median(rebuild);
    std::printf("nms.ini: %d records, %.1f MiB, %d nodes in the tree\n", records,
                double(text.size()) / (1024.0 * 1024.0), nodes);
    std::printf("%-34s %14s %18s %9s\n", "", "station", "value by value", "ratio");
    std::printf("%-34s %11.2f ms %15.0f ms %8.0fx\n", "tree rebuild (reload)", station,
                straightRebuildMs, straightRebuildMs / station);
    std::printf("%-34s %11.2f ms %15.1f ms %8.0fx\n", "element load (loadElement)", median(click),
                straightClickMs, straightClickMs / median(click));
    std::printf("\n");
    std::printf("station rebuild: median %.2f ms over %zu (reading and the tree model alone: "
                "%.2f ms); %s the 100 ms aim\n",
                station, rebuild.size(), median(model), station < 100.0 ? "within" : "OVER");
    std::printf("value by value: one ReadFromINI %.2f ms (mean of %d calls), section list %.2f ms; "
                "the rebuild needs %d reads and is extrapolated\n",
                readMs, readCalls, median(listMs), 2 * records);
    printExportFigures(dir, text);
    return 0;
}
