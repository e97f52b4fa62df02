#include "ui/event_log_view.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "core/event_log_line.h"

namespace varnetix {

namespace {

enum Column { kTime, kSeverity, kCategory, kElement, kText, kColumns };

QString severityText(EventSeverity severity) {
    return QLatin1String(SeverityWord(severity));
}

// Rows whose element is the chosen one (or any) and whose line holds the text (or any).
class EventFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setElement(const QString& element) {
        m_element = element;
        invalidateRowsFilter();
    }
    void setText(const QString& text) {
        m_text = text;
        invalidateRowsFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override {
        const auto* model = static_cast<const EventLogModel*>(sourceModel());
        const EventLog::Line& line = model->line(row);
        if (!m_element.isEmpty() && line.element != m_element)
            return false;
        if (m_text.isEmpty())
            return true;
        const QString severity = severityText(line.severity);
        for (const QString* field :
             {&line.time, &severity, &line.category, &line.element, &line.text}) {
            if (field->contains(m_text, Qt::CaseInsensitive))
                return true;
        }
        return false;
    }

private:
    QString m_element;
    QString m_text;
};

} // namespace

EventLogModel::EventLogModel(const EventLog& log, QObject* parent) : QAbstractTableModel(parent) {
    m_lines.assign(log.lines().begin(), log.lines().end());
    m_batch.setSingleShot(true);
    m_batch.setInterval(100);
    connect(&m_batch, &QTimer::timeout, this, &EventLogModel::insertWaiting);
    connect(&log, &EventLog::recorded, this, &EventLogModel::take);
}

void EventLogModel::take(const EventLog::Line& line) {
    m_waiting.push_back(line);
    if (!m_batch.isActive())
        m_batch.start();
}

void EventLogModel::insertWaiting() {
    if (m_waiting.empty())
        return;
    // The view keeps what the log keeps; the oldest go first.
    const std::size_t total = m_lines.size() + m_waiting.size();
    if (total > EventLog::kKeptLines) {
        const int drop = static_cast<int>(std::min(m_lines.size(), total - EventLog::kKeptLines));
        beginRemoveRows({}, 0, drop - 1);
        m_lines.erase(m_lines.begin(), m_lines.begin() + drop);
        endRemoveRows();
    }
    const int first = static_cast<int>(m_lines.size());
    beginInsertRows({}, first, first + static_cast<int>(m_waiting.size()) - 1);
    m_lines.insert(m_lines.end(), m_waiting.begin(), m_waiting.end());
    endInsertRows();
    m_waiting.clear();
}

int EventLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_lines.size());
}

int EventLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant EventLogModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const EventLog::Line& l = line(index.row());
    switch (index.column()) {
    case kTime:
        return l.time;
    case kSeverity:
        return severityText(l.severity);
    case kCategory:
        return l.category;
    case kElement:
        return l.element;
    default:
        return l.text;
    }
}

QVariant EventLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kTitles[] = {"Time", "Severity", "Category", "Element", "Event"};
    return QLatin1String(kTitles[section]);
}

EventLogView::EventLogView(const EventLog& log, QWidget* parent)
    : QDockWidget(QStringLiteral("Event log"), parent), m_model(new EventLogModel(log, this)),
      m_filter(new EventFilter(this)), m_elementFilter(new QComboBox), m_textFilter(new QLineEdit),
      m_table(new QTableView) {
    setObjectName(QStringLiteral("dockEventLog"));
    m_filter->setSourceModel(m_model);
    m_elementFilter->setObjectName(QStringLiteral("cmbLogElement"));
    m_elementFilter->setAccessibleName(QStringLiteral("Element"));
    m_textFilter->setObjectName(QStringLiteral("txtLogFilter"));
    m_textFilter->setAccessibleName(QStringLiteral("Filter"));
    m_textFilter->setPlaceholderText(QStringLiteral("Filter"));
    m_textFilter->setClearButtonEnabled(true);
    m_table->setObjectName(QStringLiteral("tblEventLog"));
    m_table->setAccessibleName(QStringLiteral("Events"));
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* copy = new QAction(QStringLiteral("&Copy"), m_table);
    copy->setObjectName(QStringLiteral("actionCopyLogLines"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &EventLogView::copySelection);
    m_table->addAction(copy);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);

    auto* filters = new QHBoxLayout;
    auto* elementLabel = new QLabel(QStringLiteral("&Element:"));
    elementLabel->setBuddy(m_elementFilter);
    filters->addWidget(elementLabel);
    filters->addWidget(m_elementFilter, 1);
    auto* textLabel = new QLabel(QStringLiteral("&Filter:"));
    textLabel->setBuddy(m_textFilter);
    filters->addWidget(textLabel);
    filters->addWidget(m_textFilter, 2);
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->addLayout(filters);
    layout->addWidget(m_table);
    setWidget(body);

    m_elementFilter->addItem(QStringLiteral("All elements"), QString());
    addElements(0, m_model->rowCount() - 1);
    connect(m_model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) {
                addElements(first, last);
                m_table->scrollToBottom();
            });
    connect(m_elementFilter, &QComboBox::currentIndexChanged, this, [this] {
        static_cast<EventFilter*>(m_filter)->setElement(m_elementFilter->currentData().toString());
    });
    connect(m_textFilter, &QLineEdit::textChanged, this,
            [this](const QString& text) { static_cast<EventFilter*>(m_filter)->setText(text); });
}

void EventLogView::addElements(int first, int last) {
    for (int row = first; row <= last; ++row) {
        const QString& element = m_model->line(row).element;
        if (!element.isEmpty() && !m_elements.contains(element)) {
            m_elements.insert(element);
            m_elementFilter->addItem(element, element);
        }
    }
}

QString EventLogView::selectedText() const {
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList lines;
    for (const QModelIndex& row : rows) {
        const EventLog::Line& l = m_model->line(m_filter->mapToSource(row).row());
        lines << QString::fromStdString(
            FormatEventFields(l.time.toStdString(), l.severity, l.category.toStdString(),
                              l.element.toStdString(), l.text.toStdString()));
    }
    return lines.join(QLatin1Char('\n'));
}

void EventLogView::copySelection() const {
    QGuiApplication::clipboard()->setText(selectedText());
}

} // namespace varnetix
