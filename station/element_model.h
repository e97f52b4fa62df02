// The elements as the station knows them now: each node of the tree the database gives, joined
// The elements as the station knows them now: each node of the tree the database gives, joined
// with its watch state, an encoder's audio, the last discovery's news, the network check's
// warnings and its alarms. Views read it through roles; the state is kept by the element's
// upper-case section (its MAC), so that it outlives a rebuild that keeps the element.
#pragma once

#include <QAbstractItemModel>
#include <QStringList>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "station/alarm_list.h"
#include "station/element_tree_controller.h"
#include "station/element_watch.h"
#include "station/silence_watch.h"

namespace varnetix {

// The roles of a node beside its text (Qt::DisplayRole), tooltip and accessible description.
enum NodeRole {
    kNodeKeyRole = Qt::UserRole,        // QString: the MAC in colon form
    kNodeSectionRole,                   // QString: the upper-case section
    kNodeEncoderRole,                   // bool: the picture, encoder or decoder
    kNodeStateRole = Qt::UserRole + 10, // int: ElementState
    kNodeChangeRole,                    // int: NodeChange
    kNodeWarningRole,                   // bool
    kNodeAlarmsRole,                    // QStringList: the kinds of its alarms in the list
    kNodeAudioRole,      // int: AudioState; none while the element's audio is not watched
    kNodeAudioLevelRole, // double: the last answer's level in dBFS (-inf: none); none before
    kNodeAudioSinceRole, // qint64: when the audio state began, ms since the epoch
};

enum class NodeChange { None, New, Changed };

class ElementModel : public QAbstractItemModel,
                     public ElementTreeView,
                     public ElementStatusView,
                     public AudioStatusView {
    Q_OBJECT
public:
    explicit ElementModel(QObject* parent = nullptr);

    void showElements(const std::vector<ElementNode>& nodes) override;
    void showStatus(const std::string& section, ElementState state,
                    const QString& tooltip) override;
    void showAudio(const std::string& section, const std::optional<AudioReport>& report) override;
    // What the last discovery found new or changed; marked until the next one.
    void showChanges(const std::set<std::string>& added, const std::set<std::string>& changed);
    // The network check's findings by section.
    void showWarnings(const std::map<std::string, QStringList>& warnings);
    // The alarms in the list, each on its element's node.
    void showAlarms(const std::vector<Alarm>& alarms);

    // The node of a section (in any case); invalid when the tree has none.
    QModelIndex indexOf(const std::string& section) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    struct Node {
        QString text;
        QString key;
        std::string section; // upper case
        bool encoder = false;
    };
    struct Status {
        ElementState state = ElementState::Unknown;
        QString tooltip;
    };
    NodeChange changeOf(const std::string& section) const;
    QString description(const Node& node) const;
    QString tooltip(const Node& node) const;
    QVariant audioData(const Node& node, int role) const;
    void allChanged();

    std::vector<Node> m_nodes;
    std::unordered_map<std::string, int> m_rows; // by upper-case section
    std::map<std::string, Status> m_status;      // by upper-case section
    std::map<std::string, AudioReport> m_audio;  // by upper-case section, watched encoders only
    std::set<std::string> m_added, m_changed;
    std::map<std::string, QStringList> m_warnings;
    std::map<std::string, std::vector<Alarm>> m_alarms; // by upper-case section
};

} // namespace varnetix
