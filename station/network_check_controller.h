// The network check of the element database: run after every discovery, after every stored
// configuration answer and when the operator asks. Its findings are shown in a list and on the
// tree, and each new one goes to the event log. No finding ever blocks a send.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/feedback_packet.h"
#include "core/network_check.h"
#include "station/element_database.h"
#include "station/event_log.h"

namespace varnetix {

// What the last discovery left of its answers beside the database; none when there is no file.
std::vector<FeedbackRecord> lastDiscoveryAnswers(const std::string& databasePath);

// Where the findings are shown.
class FindingsView {
public:
    virtual ~FindingsView() = default;
    virtual void showFindings(const std::vector<Finding>& findings) = 0;
};

class NetworkCheckController : public QObject {
    Q_OBJECT
public:
    NetworkCheckController(FindingsView& view, EventSink& log, ElementDatabase& database,
                           std::function<std::vector<Subnet>()> subnets, QObject* parent = nullptr);

    // Checks the database and what the last discovery left of its answers beside it.
    void check();
    // What the last check found.
    const std::vector<Finding>& findings() const { return m_findings; }

signals:
    // The sentences that concern each section, for the tree's marks.
    void warningsChanged(const std::map<std::string, QStringList>& warnings);
    // The error sentences of each section ("" for errors that concern no element of the
    // database), for the alarms: what breaks the link needs a person, a warning does not.
    void errorsChanged(const std::map<QString, QString>& errors);

private:
    FindingsView& m_view;
    EventSink& m_log;
    ElementDatabase& m_database;
    std::function<std::vector<Subnet>()> m_subnets;

    std::vector<Finding> m_findings;
    std::set<std::string> m_logged; // findings already in the log
};

} // namespace varnetix
