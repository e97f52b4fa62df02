// The configuration exchange with the selected element: the panel's values are checked and,
// after the operator agrees, sent as the 35-byte packet; the element's answer is compared with
// what was sent and what the element took is stored; no answer within timerRemoteSent is a
// time-out.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <vector>

#include "core/feedback_packet.h"
#include "core/network_check.h"
#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/element_editor.h"
#include "station/element_selection.h"
#include "station/element_tree_controller.h"
#include "station/event_log.h"

#include "station/operator_dialogs.h"

namespace varnetix {

class ConfigurationExchange : public QObject {
    Q_OBJECT
public:
    ConfigurationExchange(ElementEditor& editor, ElementSelection& selection,
                          ElementTreeController& tree, ElementDatabase& database,
                          DatagramLink& link, OperatorDialogs& dialogs, EventSink& log,
                          const StationSettings& settings,
                          std::function<std::vector<Subnet>()> subnets, QObject* parent = nullptr);

    // The toolbar's "Save changes": checks, asks, sends.
    void sendConfiguration();
    void sendConfigurationPacket();
    // A feedback packet passed its checks: whatever it answers, the wait is over.
    void stopAnswerTimeout() { m_answerTimeout.stop(); }
    // A checked feedback packet outside discovery, with the element's MAC found.
    void applyConfigurationAnswer(FeedbackRecord& answer);

private:
    void error(const QString& line);
    // True (after telling the operator) when the address is not one element's.
    bool refusedDestination(const QString& address);
    void timedOut();
    void refused(const QString& box);
    // One line per field whose sent value differs from the stored one, or "No field changed.".
    QStringList changedFields(const EditedConfiguration& edited) const;

    ElementEditor& m_editor;
    ElementSelection& m_selection;
    ElementTreeController& m_tree;
    ElementDatabase& m_database;
    DatagramLink& m_link;
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    const StationSettings& m_settings;
    std::function<std::vector<Subnet>()> m_subnets;
    QTimer m_answerTimeout;
};

} // namespace varnetix
