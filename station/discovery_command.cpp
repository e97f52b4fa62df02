#include "station/discovery_command.h"

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "core/inventory_csv.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"
#include "station/command_line.h"
#include "station/discovery.h"
#include "station/element_database.h"
#include "station/feedback_handler.h"
#include "station/station.h"

using namespace Qt::Literals::StringLiterals;

namespace varnetix {

namespace {

constexpr int kFailed = 2;

// The command confirms its one discovery; any other question takes its default, No. A box
// that reports an error is a line on standard error. The information boxes are the window's
// hints ("click the 'Auto Discover' icon") and are only logged.
class CommandDialogs : public OperatorDialogs {
public:
    explicit CommandDialogs(std::FILE* err) : m_err(err) {}
    void information(const QString&, const QString&) override {}
    void critical(const QString&, const QString& text) override {
        printLine(m_err, u"varnetix-nms: "_s + text.split(u'\r').join(u' '));
    }
    bool question(const QString&, const QString&) override {
        return std::exchange(m_confirmation, false);
    }

private:
    std::FILE* m_err;
    bool m_confirmation = true;
};

// Answers that arrived during the wait may still be looking for their MAC; each is done within
// its lookup budget.
void waitForLateAnswers(FeedbackHandler& feedback, int lookupBudgetMs) {
    if (feedback.idle())
        return;
    QEventLoop wait;
    QTimer::singleShot(lookupBudgetMs + 1000, &wait, &QEventLoop::quit);
    QObject::connect(&feedback, &FeedbackHandler::packetFinished, &wait, [&] {
        if (feedback.idle())
            wait.quit();
    });
    wait.exec();
}

// One line per element, in the order of their MACs, so that two runs compare line by line.
std::string foundText(std::vector<FeedbackRecord> found, const QString& summary) {
    std::sort(found.begin(), found.end(), [](const FeedbackRecord& a, const FeedbackRecord& b) {
        return a.ElementMAC < b.ElementMAC;
    });
    QByteArray text;
    for (const FeedbackRecord& r : found) {
        // Each field escaped on its own, so that the tabs between them stay tabs.
        const QString fields[] = {
            fromBytes(r.ElementMAC), fromBytes(TrimSpaces(StoredElementName(r.ElementName))),
            fromBytes(r.ElementIP), QString::fromLatin1(roleName(r.ElementRole))};
        QByteArrayList line;
        for (const QString& field : fields)
            line << terminalText(field);
        text += line.join('\t') + '\n';
    }
    text += terminalText(summary) + '\n';
    return text.toStdString();
}

} // namespace

int discoverFromCommandLine(const StationSettings& settings, MacResolver& resolver,
                            EchoProbe& probe, SingleInstance& instance, std::FILE* out,
                            std::FILE* err) {
    CommandDialogs dialogs(err);
    const QString database = QString::fromStdString(settings.databasePath);
    const std::unique_ptr<Station> station =
        openStation(settings, dialogs, resolver, probe, instance);
    if (!station) {
        printLine(err, u"varnetix-nms: a station is running with the database %1 or UDP port %2; "
                       u"a discovery needs both to itself"_s.arg(database)
                           .arg(settings.localPort));
        return kFailed;
    }
    // Before the run moves the database aside: a run that could store nothing is not started.
    if (const StoreResult writable = station->database().checkWritable(); !writable.ok()) {
        printLine(err, u"varnetix-nms: the database %1 cannot be written: %2"_s.arg(
                           database, QString::fromStdString(writable.reason)));
        return kFailed;
    }
    Discovery& discovery = station->discovery();
    discovery.setKeepDatabaseWhenSilent(true);
    QString summary;
    QObject::connect(&discovery, &Discovery::changesFound, station.get(),
                     [&summary](const auto&, const auto&, const QString& text) { summary = text; });
    // SIGTERM or SIGINT while the run waits puts the database back, as in the window.
    station->answerSignals(StationSignals::Hangup::Ends);
    if (!station->start())
        return kFailed; // the port is taken, and the box has said so
    discovery.confirmDiscovery();
    waitForLateAnswers(station->feedback(), settings.macBudgetMs);
    station->stop();
    switch (discovery.outcome()) {
    case Discovery::Outcome::Failed:
        return kFailed;
    case Discovery::Outcome::Interrupted:
        printLine(err, u"varnetix-nms: the discovery was interrupted; the database %1 is left as "
                       u"it was"_s.arg(database));
        return kFailed;
    case Discovery::Outcome::NoneAnswered:
        printLine(err,
                  u"varnetix-nms: no element answered; the database %1 is left as it was"_s.arg(
                      database));
        return 1;
    case Discovery::Outcome::Stored:
        break;
    }
    return writeOut(foundText(discovery.answers(), summary), out, err);
}

} // namespace varnetix
