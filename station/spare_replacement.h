// A failed element replaced by a spare: after a discovery has found the failed unit missing and
// the spare new, the missing unit's configuration is sent to the spare's current address as
// "Save changes" sends one, and the spare's answer is stored under the spare's own MAC.
//
// Nothing is sent while the missing unit's address still answers (a ping, or ARP): two units on
// one address would be worse than one that is gone. The answer counts only when the MAC that
// answers for its address now, asked of the network afresh, is the spare's.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/network_check.h"
#include "core/replacement_plan.h"
#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "platform/echo_probe.h"
#include "platform/mac_resolver.h"
#include "station/element_database.h"
#include "station/event_log.h"
#include "station/operator_dialogs.h"

namespace varnetix {

class SpareReplacement : public QObject {
    Q_OBJECT
public:
    // Echoes sent to the missing unit's address before anything is sent; any answer refuses.
    static constexpr int kEchoes = 3;

    SpareReplacement(ElementDatabase& database, DatagramLink& link, EchoProbe& probe,
                     MacResolver& resolver, OperatorDialogs& dialogs, EventSink& log,
                     const StationSettings& settings, std::function<std::vector<Subnet>()> subnets,
                     QObject* parent = nullptr);
    ~SpareReplacement() override;

    // The elements missing from the database and the spares in it, against the newest backup
    // (the one the last discovery made); none without a backup that can be read.
    ReplacementCandidates candidates();
    // What the missing element's record makes; nullopt when it makes none, `why` names the key.
    std::optional<ReplacementConfiguration> configurationOf(const std::string& missing,
                                                            std::string* why);

    // Checks, asks, makes sure the missing unit's address is silent, then sends. Returns before
    // the outcome, which the operator is told.
    void replace(const std::string& missing, const std::string& spare);
    // From the question to the outcome.
    bool busy() const { return m_stage != Stage::Idle; }

    // A feedback packet that passed its checks outside a discovery: true when it answers the
    // replacement's configuration. Like "Save changes", the first one ends the wait.
    bool takeAnswer();
    // That answer, with the MAC a fresh lookup found for its address ("" when none was found).
    void applyAnswer(const FeedbackRecord& answer);

signals:
    void busyChanged(bool busy);

private:
    enum class Stage { Idle, Asking, Checking, Waiting, Answered };

    std::optional<IniDocument> newestBackup() const;
    bool refusedDestination(const std::string& address) const;
    void refuseBeforeSending(const QStringList& lines);
    // A fresh lookup of the missing unit's address, which also shows that the answer can be
    // checked; false (after refusing) when this station cannot make one.
    bool listenForTheAddress();
    void nextEcho();
    void echoFinished(const EchoReply& reply);
    // True (after refusing) when a host has sent ARP in the missing unit's address's name.
    bool addressStillHeld();
    void send();
    void timedOut();
    void refuseAnswer(const QString& line);
    bool sendAttenuation(int step);
    void finish();
    QString missingLabel() const;
    QString spareLabel() const;

    ElementDatabase& m_database;
    DatagramLink& m_link;
    EchoProbe& m_probe;
    MacResolver& m_resolver;
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    const StationSettings& m_settings;
    std::function<std::vector<Subnet>()> m_subnets;
    QTimer m_answerTimeout;

    Stage m_stage = Stage::Idle;
    ReplacementUnit m_missing, m_spare;
    ReplacementConfiguration m_configuration;
    // Listens for ARP in the missing unit's name while its address is pinged.
    std::unique_ptr<FreshMacLookup> m_addressInUse;
    int m_echoesLeft = 0;
    bool m_echoInFlight = false;
};

} // namespace varnetix
