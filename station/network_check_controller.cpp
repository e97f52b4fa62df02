#include "station/network_check_controller.h"

#include "core/database_file.h"
#include "core/discovery_answers.h"
#include "core/event_log_line.h"

#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "core/text_procedures.h"

namespace varnetix {

namespace {

void addSentence(QString& sentences, const QString& sentence) {
    if (!sentences.isEmpty())
        sentences += u' ';
    sentences += sentence;
}

} // namespace

std::vector<FeedbackRecord> lastDiscoveryAnswers(const std::string& databasePath) {
    const FileContent answers = readWholeFile(DiscoveryAnswersPath(databasePath));
    return answers.state == FileState::Loaded ? ParseDiscoveryAnswers(answers.text)
                                              : std::vector<FeedbackRecord>();
}

NetworkCheckController::NetworkCheckController(FindingsView& view, EventSink& log,
                                               ElementDatabase& database,
                                               std::function<std::vector<Subnet>()> subnets,
                                               QObject* parent)
    : QObject(parent), m_view(view), m_log(log), m_database(database),
      m_subnets(std::move(subnets)) {}

void NetworkCheckController::check() {
    m_findings = checkNetwork(m_database.current().document, m_subnets(),
                              lastDiscoveryAnswers(m_database.path()));
    const std::vector<Finding>& findings = m_findings;
    m_view.showFindings(findings);

    std::map<std::string, QStringList> warnings;
    std::map<QString, QString> errors;
    std::set<std::string> current;
    for (const Finding& finding : findings) {
        const QString sentence = QString::fromStdString(latin1ToUtf8(finding.sentence));
        for (const std::string& section : finding.sections)
            warnings[section] << sentence;
        if (findingSeverity(finding.kind) == Severity::Error) {
            for (const std::string& section : finding.sections)
                addSentence(errors[QString::fromStdString(section)], sentence);
            if (finding.sections.empty())
                addSentence(errors[QString()], sentence);
        }
        const std::string line = findingLine(finding);
        current.insert(line);
        if (m_logged.count(line))
            continue;
        const QString element = finding.sections.empty()
                                    ? QString()
                                    : QString::fromStdString(MacWithColons(finding.sections[0]));
        m_log.record(findingSeverity(finding.kind) == Severity::Error ? EventSeverity::Error
                                                                      : EventSeverity::Warning,
                     event_category::kCheck, element, QString::fromStdString(line));
    }
    // A finding that went away and comes back is new again.
    m_logged = std::move(current);
    emit warningsChanged(warnings);
    emit errorsChanged(errors);
}

} // namespace varnetix
