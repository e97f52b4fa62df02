#include "station/element_model.h"

#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

namespace {

std::string sectionKey(const std::string& section) {
    return ToUpperAscii(section);
}

} // namespace

ElementModel::ElementModel(QObject* parent) : QAbstractItemModel(parent) {}

void ElementModel::showElements(const std::vector<ElementNode>& nodes) {
    beginResetModel();
    m_nodes.clear();
    m_rows.clear();
    m_nodes.reserve(nodes.size());
    for (const ElementNode& node : nodes) {
        const std::string section = sectionKey(node.section);
        // The first of two sections that differ only in case is the one the database reads.
        m_rows.emplace(section, static_cast<int>(m_nodes.size()));
        m_nodes.push_back({fromBytes(node.text), fromBytes(node.key), section, node.encoder});
    }
    endResetModel();
}

void ElementModel::showStatus(const std::string& section, ElementState state,
                              const QString& tooltip) {
    m_status[sectionKey(section)] = {state, tooltip};
    if (const QModelIndex node = indexOf(section); node.isValid())
        emit dataChanged(node, node);
}

void ElementModel::showAudio(const std::string& section, const std::optional<AudioReport>& report) {
    const std::string key = sectionKey(section);
    const auto shown = m_audio.find(key);
    const bool stateChanged = shown == m_audio.end()
                                  ? report.has_value()
                                  : !report || report->state != shown->second.state;
    if (report)
        m_audio[key] = *report;
    else if (shown != m_audio.end())
        m_audio.erase(shown);
    // A new level alone changes no mark: the tooltip is read when it is shown.
    if (const QModelIndex node = indexOf(section); stateChanged && node.isValid())
        emit dataChanged(node, node);
}

void ElementModel::showChanges(const std::set<std::string>& added,
                               const std::set<std::string>& changed) {
    m_added.clear();
    m_changed.clear();
    for (const std::string& section : added)
        m_added.insert(sectionKey(section));
    for (const std::string& section : changed)
        m_changed.insert(sectionKey(section));
    allChanged();
}

void ElementModel::showWarnings(const std::map<std::string, QStringList>& warnings) {
    m_warnings.clear();
    for (const auto& [section, sentences] : warnings)
        m_warnings[sectionKey(section)] += sentences;
    allChanged();
}

void ElementModel::showAlarms(const std::vector<Alarm>& alarms) {
    m_alarms.clear();
    for (const Alarm& alarm : alarms)
        if (!alarm.section.empty())
            m_alarms[alarm.section].push_back(alarm);
    allChanged();
}

void ElementModel::allChanged() {
    if (!m_nodes.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(m_nodes.size()) - 1, 0));
}

QModelIndex ElementModel::indexOf(const std::string& section) const {
    const auto found = m_rows.find(sectionKey(section));
    return found == m_rows.end() ? QModelIndex() : index(found->second, 0);
}

QModelIndex ElementModel::index(int row, int column, const QModelIndex& parent) const {
    return hasIndex(row, column, parent) ? createIndex(row, column) : QModelIndex();
}

QModelIndex ElementModel::parent(const QModelIndex&) const {
    return {};
}

int ElementModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_nodes.size());
}

int ElementModel::columnCount(const QModelIndex&) const {
    return 1;
}

NodeChange ElementModel::changeOf(const std::string& section) const {
    return m_added.count(section)     ? NodeChange::New
           : m_changed.count(section) ? NodeChange::Changed
                                      : NodeChange::None;
}

QVariant ElementModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Node& node = m_nodes[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return node.text;
    case Qt::ToolTipRole:
        return tooltip(node);
    case Qt::AccessibleDescriptionRole:
        return description(node);
    case kNodeKeyRole:
        return node.key;
    case kNodeSectionRole:
        return fromBytes(node.section);
    case kNodeEncoderRole:
        return node.encoder;
    case kNodeStateRole: {
        const auto status = m_status.find(node.section);
        return static_cast<int>(status == m_status.end() ? ElementState::Unknown
                                                         : status->second.state);
    }
    case kNodeChangeRole:
        return static_cast<int>(changeOf(node.section));
    case kNodeWarningRole: {
        const auto warnings = m_warnings.find(node.section);
        return warnings != m_warnings.end() && !warnings->second.isEmpty();
    }
    case kNodeAlarmsRole: {
        QStringList kinds;
        if (const auto alarms = m_alarms.find(node.section); alarms != m_alarms.end())
            for (const Alarm& alarm : alarms->second)
                kinds << alarmKindWord(alarm.kind);
        return kinds;
    }
    case kNodeAudioRole:
    case kNodeAudioLevelRole:
    case kNodeAudioSinceRole:
        return audioData(node, role);
    default:
        return {};
    }
}

QVariant ElementModel::audioData(const Node& node, int role) const {
    const auto audio = m_audio.find(node.section);
    if (audio == m_audio.end())
        return {};
    const AudioReport& report = audio->second;
    if (role == kNodeAudioRole)
        return static_cast<int>(report.state);
    if (role == kNodeAudioSinceRole)
        return report.sinceMs;
    return report.dbfs ? QVariant(*report.dbfs) : QVariant();
}

// What a sighted operator sees as marks, a screen reader and automation read.
QString ElementModel::description(const Node& node) const {
    const auto status = m_status.find(node.section);
    QString text = QString::fromStdString(
        StateWord(status == m_status.end() ? ElementState::Unknown : status->second.state));
    if (const auto audio = m_audio.find(node.section); audio != m_audio.end()) {
        if (const std::string word = AudioWord(audio->second.state); !word.empty())
            text += QStringLiteral(", ") + QString::fromStdString(word);
    }
    const NodeChange change = changeOf(node.section);
    if (change == NodeChange::New)
        text += QStringLiteral(", new");
    else if (change == NodeChange::Changed)
        text += QStringLiteral(", changed");
    const auto warnings = m_warnings.find(node.section);
    if (warnings != m_warnings.end() && !warnings->second.isEmpty())
        text += QStringLiteral(", warning");
    return text;
}

QString ElementModel::tooltip(const Node& node) const {
    QStringList tip;
    const auto status = m_status.find(node.section);
    if (status != m_status.end() && !status->second.tooltip.isEmpty())
        tip << status->second.tooltip;
    if (const auto audio = m_audio.find(node.section); audio != m_audio.end())
        tip << audio->second.tooltip;
    const NodeChange change = changeOf(node.section);
    if (change == NodeChange::New)
        tip << QStringLiteral("New since the previous discovery");
    else if (change == NodeChange::Changed)
        tip << QStringLiteral("Changed since the previous discovery");
    if (const auto warnings = m_warnings.find(node.section); warnings != m_warnings.end())
        tip << warnings->second;
    if (const auto alarms = m_alarms.find(node.section); alarms != m_alarms.end())
        for (const Alarm& alarm : alarms->second)
            tip << QStringLiteral("Alarm %1: %2")
                       .arg(alarmKindWord(alarm.kind), alarmStateWords(alarm));
    return tip.join(QLatin1Char('\n'));
}

} // namespace varnetix
