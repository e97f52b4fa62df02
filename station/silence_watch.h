// The silence watch: every encoder of the database is asked for its audio level ("VOL") at
// every interval, each answer is matched to its encoder by its source address, and an encoder
// whose audio stays below the silence level for the silence time is marked silent until its
// audio is back for the restore time. An encoder that does not answer is "level unknown"; the
// watch over echoes tells whether it is down.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/audio_status.h"
#include "core/network_check.h"
#include "core/station_preferences.h"
#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/element_database.h"
#include "station/event_log.h"

namespace varnetix {

// What the watch knows of one encoder's audio now.
struct AudioReport {
    AudioState state = AudioState::Pending;
    std::optional<double> dbfs; // the last answer's level, -infinity for no positive peak
    qint64 sinceMs = 0;         // when the state began, ms since the epoch
    QString tooltip;
};

// Where the watch shows each encoder's audio: on its node of the tree.
class AudioStatusView {
public:
    virtual ~AudioStatusView() = default;
    // nullopt: the element's audio is not watched (not an encoder, or the watch is off).
    virtual void showAudio(const std::string& section,
                           const std::optional<AudioReport>& report) = 0;
};

class SilenceWatch : public QObject {
    Q_OBJECT
public:
    // `paused` is true while the database is being rebuilt (a discovery); `served` gives the
    // address the operator's level display is polling, whose answers serve the watch too.
    SilenceWatch(AudioStatusView& view, ElementDatabase& database, DatagramLink& link,
                 EventSink& log, const StationSettings& settings,
                 std::function<std::vector<Subnet>()> subnets, std::function<bool()> paused,
                 std::function<std::optional<quint32>()> served, QObject* parent = nullptr);

    // The interval (0 turns the watch off), the silence level and the times.
    void setPreferences(const StationPreferences& preferences);
    // Reads the encoders of the database; those that stay keep their state.
    void followDatabase();
    // No more requests (the endpoint is closing).
    void stopWatching() { m_timer.stop(); }

    // A 1440-byte datagram; it counts only for the encoder at its source address.
    void levelAnswered(const QByteArray& datagram, const QHostAddress& sender);

    // The encoder's state, and the level of its last answer (-infinity for no positive peak);
    // nullopt when it is not watched or has not answered.
    std::optional<AudioState> state(const std::string& section) const;
    std::optional<double> lastDbfs(const std::string& section) const;
    // The upper-case sections of the encoders that have not answered for the silence time: a
    // hung audio engine is dead air too. Encoders that cannot be asked are not among them.
    std::vector<std::string> levelLostSections() const;
    std::size_t silentCount() const;
    // Level datagrams taken as an encoder's answer, and those from no watched encoder's address.
    quint64 attributedDatagrams() const { return m_attributedDatagrams; }
    quint64 foreignDatagrams() const { return m_foreignDatagrams; }

signals:
    // The typed events, by MAC in colon form.
    void audioSilent(const QString& mac, qint64 sinceMs);
    void audioRestored(const QString& mac, qint64 silenceSeconds);
    void levelUnknown(const QString& mac);
    // The status bar's addition (", 1 silent"); empty while the watch is off.
    void summaryChanged(const QString& addition);

private:
    struct Encoder {
        std::string section; // upper case
        QString mac;         // colon form
        QString label;       // the node's text
        QString ip;
        std::optional<quint32> address; // a dotted quad that no other encoder had before it
        QString refusal;                // why no request can go to it
        AudioStatus status;
    };

    void round();
    void resumeAfterPause(qint64 now);
    void apply(Encoder& encoder, const std::optional<AudioChange>& change);
    void show(const Encoder& encoder);
    AudioReport reportOf(const Encoder& encoder) const;
    const Encoder* find(const std::string& section) const;
    void showSummary();
    AudioRules rules() const;
    qint64 now() const;
    // The time of the system clock at a moment of the watch's own clock.
    qint64 wallTime(qint64 at) const;
    bool watching() const { return m_intervalSeconds > 0; }

    AudioStatusView& m_view;
    ElementDatabase& m_database;
    DatagramLink& m_link;
    EventSink& m_log;
    const StationSettings& m_settings;
    std::function<std::vector<Subnet>()> m_subnets;
    std::function<bool()> m_paused;
    std::function<std::optional<quint32>()> m_served;
    std::vector<Encoder> m_encoders;                          // in the database's order
    std::unordered_map<quint32, std::size_t> m_byAddress;     // answering address -> encoder
    std::unordered_map<std::string, std::size_t> m_bySection; // upper-case section -> encoder
    int m_intervalSeconds = 0;
    StationPreferences m_preferences;
    bool m_wasPaused = false;
    quint64 m_attributedDatagrams = 0;
    quint64 m_foreignDatagrams = 0;
    QByteArray m_request;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

} // namespace varnetix
