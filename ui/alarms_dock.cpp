#include "ui/alarms_dock.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/event_log_line.h"

namespace varnetix {

namespace {

constexpr int kIdRole = Qt::UserRole;
constexpr int kSectionRole = Qt::UserRole + 1;
constexpr int kUnacknowledgedRole = Qt::UserRole + 2;

QString shownTime(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// The whole cause, and when it was raised, cleared and acknowledged.
QString history(const Alarm& alarm) {
    QStringList lines{alarm.cause, QStringLiteral("Raised %1").arg(shownTime(alarm.raised))};
    if (!alarm.active())
        lines << QStringLiteral("Cleared %1").arg(shownTime(alarm.cleared));
    if (alarm.isAcknowledged())
        lines << QStringLiteral("Acknowledged %1").arg(shownTime(alarm.acknowledged));
    return lines.join(u'\n');
}

} // namespace

AlarmsDock::AlarmsDock(AlarmList& alarms, QWidget* parent)
    : QDockWidget(QStringLiteral("Alarms"), parent), m_alarms(alarms), m_list(new QTreeWidget),
      m_acknowledge(new QPushButton(QStringLiteral("&Acknowledge"))),
      m_acknowledgeAll(new QPushButton(QStringLiteral("Acknowledge a&ll"))) {
    setObjectName(QStringLiteral("dockAlarms"));
    m_list->setObjectName(QStringLiteral("lstAlarms"));
    m_list->setAccessibleName(QStringLiteral("Alarms"));
    m_list->setRootIsDecorated(false);
    m_list->setWordWrap(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHeaderLabels({QStringLiteral("Raised"), QStringLiteral("Severity"),
                             QStringLiteral("Kind"), QStringLiteral("Element"),
                             QStringLiteral("State"), QStringLiteral("Cause")});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    m_acknowledge->setObjectName(QStringLiteral("btnAcknowledge"));
    m_acknowledgeAll->setObjectName(QStringLiteral("btnAcknowledgeAll"));

    auto* body = new QWidget;
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_acknowledge);
    buttons->addWidget(m_acknowledgeAll);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(body);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    setWidget(body);

    connect(m_list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString section = item->data(0, kSectionRole).toString();
        if (!section.isEmpty())
            emit elementChosen(section.toStdString());
    });
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &AlarmsDock::showCommands);
    connect(m_acknowledge, &QPushButton::clicked, this, &AlarmsDock::acknowledgeSelected);
    connect(m_acknowledgeAll, &QPushButton::clicked, &m_alarms, &AlarmList::acknowledgeAll);
    connect(&m_alarms, &AlarmList::changed, this, &AlarmsDock::showAlarms);
    showAlarms();
}

void AlarmsDock::showAlarms() {
    // The operator's selection survives the rebuild: an alarm raised meanwhile is no reason to
    // acknowledge another than the one chosen.
    QSet<quint64> selected;
    for (const QTreeWidgetItem* item : m_list->selectedItems())
        selected << item->data(0, kIdRole).toULongLong();
    m_list->clear();
    for (const Alarm& alarm : m_alarms.alarms()) {
        auto* item = new QTreeWidgetItem(QStringList{
            shownTime(alarm.raised),
            QString::fromLatin1(SeverityWord(alarm.severity).data(),
                                qsizetype(SeverityWord(alarm.severity).size())),
            alarmKindWord(alarm.kind), alarm.element, alarmStateWords(alarm), alarm.cause});
        item->setData(0, kIdRole, alarm.id);
        item->setData(0, kSectionRole, QString::fromStdString(alarm.section));
        item->setData(0, kUnacknowledgedRole, !alarm.isAcknowledged());
        for (int column = 0; column < item->columnCount(); ++column) {
            item->setToolTip(column, history(alarm));
            if (!alarm.isAcknowledged()) {
                QFont bold = m_list->font();
                bold.setBold(true);
                item->setFont(column, bold);
            }
        }
        m_list->addTopLevelItem(item);
        item->setSelected(selected.contains(alarm.id));
    }
    const AlarmCounts counts = m_alarms.counts();
    setWindowTitle(counts.total == 0 ? QStringLiteral("Alarms: none")
                                     : QStringLiteral("Alarms: %1, %2 unacknowledged")
                                           .arg(counts.total)
                                           .arg(counts.unacknowledged));
    showCommands();
}

void AlarmsDock::showCommands() {
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    m_acknowledge->setEnabled(std::ranges::any_of(selected, [](const QTreeWidgetItem* item) {
        return item->data(0, kUnacknowledgedRole).toBool();
    }));
    m_acknowledgeAll->setEnabled(m_alarms.counts().unacknowledged > 0);
}

void AlarmsDock::acknowledgeSelected() {
    std::vector<quint64> ids;
    for (const QTreeWidgetItem* item : m_list->selectedItems())
        ids.push_back(item->data(0, kIdRole).toULongLong());
    for (const quint64 id : ids)
        m_alarms.acknowledge(id);
}

} // namespace varnetix
