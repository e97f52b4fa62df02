// Station > Backups...: the database's dated backups as the station lists them, the differences
// of the one selected from the current database, key by key, and its restore.
#pragma once

#include <QDialog>

#include "station/database_backups.h"

class QPushButton;
class QTableView;
class QTreeWidget;

namespace varnetix {

class BackupsDialog : public QDialog {
    Q_OBJECT
public:
    BackupsDialog(DatabaseBackups& backups, ElementDatabase& database, QWidget* parent = nullptr);

private:
    int selectedRow() const;
    void select(const QString& path);
    void showPreview();
    void restoreSelected();

    DatabaseBackups& m_backups;
    QTableView* m_list;
    QTreeWidget* m_preview;
    QPushButton* m_restore;
    QString m_selected; // the path of the backup shown, kept when the list is read again
};

} // namespace varnetix
