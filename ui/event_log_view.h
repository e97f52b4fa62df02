// The event log in a dock with each line's severity: newest last, filtered by element and by
// text (the severity word included), selected lines copied as the log file writes them. New
// lines are taken in batches, so that thousands of them do not slow the window.
#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>
#include <QSet>
#include <QTimer>
#include <vector>

#include "station/event_log.h"

class QComboBox;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

namespace varnetix {

class EventLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit EventLogModel(const EventLog& log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    const EventLog::Line& line(int row) const { return m_lines[static_cast<std::size_t>(row)]; }

private:
    void take(const EventLog::Line& line);
    void insertWaiting();

    std::vector<EventLog::Line> m_lines;
    std::vector<EventLog::Line> m_waiting;
    QTimer m_batch;
};

class EventLogView : public QDockWidget {
    Q_OBJECT
public:
    explicit EventLogView(const EventLog& log, QWidget* parent = nullptr);

    // The selected lines as the log file writes them, one per line.
    QString selectedText() const;
    void copySelection() const;

private:
    void addElements(int first, int last);

    EventLogModel* m_model;
    QSortFilterProxyModel* m_filter;
    QComboBox* m_elementFilter;
    QLineEdit* m_textFilter;
    QTableView* m_table;
    QSet<QString> m_elements;
};

} // namespace varnetix
