// Station > Backups...: the database's dated backups, newest first, each with when it was made
// (local time), its number of elements and how it differs from the current database, and the
// restore of one. A restore asks once, keeps the current database as a backup itself (so that a
// restore is undone the same way), writes the chosen one in its place with the database's safe
// write and takes the last discovery's answers aside with the database they described. It
// changes the database only: nothing is sent to any element.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <string>
#include <vector>

#include "core/backup_comparison.h"
#include "core/database_file.h"
#include "station/element_database.h"
#include "station/event_log.h"
#include "station/operator_dialogs.h"

namespace varnetix {

class DatabaseBackups : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn, ElementsColumn, DifferenceColumn, ColumnCount };
    static constexpr int kRestorableRole = Qt::UserRole; // false for a backup that cannot be read
    static constexpr int kPathRole = Qt::UserRole + 1;
    // More than retention ever leaves; whatever else lies beside the database is not read.
    static constexpr std::size_t kListed = 100;
    // Elements detailed in a preview; the counts cover all.
    static constexpr std::size_t kPreviewed = 1000;

    DatabaseBackups(ElementDatabase& database, OperatorDialogs& dialogs, EventSink& log,
                    QObject* parent = nullptr);

    // Reads the backups and the current database again.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // How the backup of the row differs from the current database, element by element; or why
    // the comparison cannot be made.
    struct Preview {
        QString unavailable;
        BackupComparison comparison;
    };
    Preview preview(int row) const;

    // Asks, then restores the backup of the row; true when it is the database now.
    bool restore(int row);

signals:
    // The database is a restored backup now.
    void restored();

private:
    struct Row {
        std::string path;
        QString time;
        FileState state = FileState::Missing;
        QString reason; // why it cannot be read
        std::size_t elements = 0;
        QString difference;
    };
    void keepAnswersWith(const std::string& backup);
    void putAnswersBack(const std::string& backup);

    ElementDatabase& m_database;
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    std::vector<Row> m_rows;
};

} // namespace varnetix
