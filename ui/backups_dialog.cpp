#include "ui/backups_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/byte_text.h"

namespace varnetix {

namespace {

QLabel* caption(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

QString valueText(const std::optional<std::string>& value) {
    return value ? fromBytes(*value) : QStringLiteral("(none)");
}

QString changeWord(RecordChange change) {
    switch (change) {
    case RecordChange::New:
        return QStringLiteral("New: ");
    case RecordChange::Missing:
        return QStringLiteral("Missing: ");
    case RecordChange::Changed:
        break;
    }
    return QStringLiteral("Changed: ");
}

} // namespace

BackupsDialog::BackupsDialog(DatabaseBackups& backups, ElementDatabase& database, QWidget* parent)
    : QDialog(parent), m_backups(backups), m_list(new QTableView), m_preview(new QTreeWidget),
      m_restore(new QPushButton(QStringLiteral("&Restore..."))) {
    setObjectName(QStringLiteral("dlgBackups"));
    setWindowTitle(QStringLiteral("Backups"));
    auto* note = new QLabel(QStringLiteral(
        "The local database is kept as a dated backup before every discovery and every restore; "
        "the ten newest are kept. Restoring one makes it the local database again, and the "
        "current one a backup. Restoring the database does not reconfigure the network: nothing "
        "is sent to any element."));
    note->setObjectName(QStringLiteral("lblBackupsNote"));
    note->setWordWrap(true);

    m_list->setObjectName(QStringLiteral("lstBackups"));
    m_list->setAccessibleName(QStringLiteral("Backups"));
    m_list->setModel(&backups);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->horizontalHeader()->setStretchLastSection(true);

    m_preview->setObjectName(QStringLiteral("treeBackupDifferences"));
    m_preview->setAccessibleName(QStringLiteral("Differences from the current database"));
    m_preview->setHeaderLabels({QStringLiteral("Element and key"),
                                QStringLiteral("Current database"), QStringLiteral("Backup")});
    m_preview->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_restore->setObjectName(QStringLiteral("cmdRestore"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(m_restore, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addWidget(caption(QStringLiteral("&Backups, newest first:"), m_list));
    layout->addWidget(m_list, 1);
    layout->addWidget(
        caption(QStringLiteral("&Differences from the current database:"), m_preview));
    layout->addWidget(m_preview, 2);
    layout->addWidget(buttons);

    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &BackupsDialog::showPreview);
    connect(m_restore, &QPushButton::clicked, this, &BackupsDialog::restoreSelected);
    connect(&backups, &QAbstractItemModel::modelReset, this, [this] { select(m_selected); });
    // A configuration answer stored while the dialog is open changes what the backups are
    // compared with.
    connect(&database, &ElementDatabase::changed, this, [this] { m_backups.refresh(); });
    m_backups.refresh();
    resize(QSize(fontMetrics().averageCharWidth() * 110, fontMetrics().height() * 32));
}

int BackupsDialog::selectedRow() const {
    const QModelIndex current = m_list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void BackupsDialog::select(const QString& path) {
    int row = 0;
    for (int i = 0; i < m_backups.rowCount(); ++i) {
        if (m_backups.index(i, 0).data(DatabaseBackups::kPathRole).toString() == path)
            row = i;
    }
    if (m_backups.rowCount() > 0)
        m_list->setCurrentIndex(m_backups.index(row, 0));
    else
        showPreview();
}

void BackupsDialog::showPreview() {
    m_preview->clear();
    const int row = selectedRow();
    const QModelIndex index = m_backups.index(row, 0);
    m_selected = index.data(DatabaseBackups::kPathRole).toString();
    m_restore->setEnabled(index.data(DatabaseBackups::kRestorableRole).toBool());
    const DatabaseBackups::Preview preview = m_backups.preview(row);
    const auto line = [this](const QString& text) {
        auto* item = new QTreeWidgetItem(m_preview, {text});
        item->setFirstColumnSpanned(true);
    };
    if (!preview.unavailable.isEmpty()) {
        line(preview.unavailable);
        return;
    }
    const BackupComparison& comparison = preview.comparison;
    if (comparison.records.empty())
        line(QStringLiteral("Same as the current database."));
    for (const RecordDifference& record : comparison.records) {
        auto* element =
            new QTreeWidgetItem(m_preview, {changeWord(record.change) + fromBytes(record.label)});
        element->setFirstColumnSpanned(true);
        for (const KeyDifference& key : record.keys)
            new QTreeWidgetItem(
                element, {fromBytes(key.key), valueText(key.current), valueText(key.backup)});
    }
    const std::size_t all = comparison.added + comparison.missing + comparison.changed;
    if (all > comparison.records.size())
        line(QStringLiteral("%1 more elements differ.").arg(all - comparison.records.size()));
    m_preview->expandAll();
}

void BackupsDialog::restoreSelected() {
    // The list follows the database's change signal, a restore's too.
    m_backups.restore(selectedRow());
}

} // namespace varnetix
