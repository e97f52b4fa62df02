#include "station/database_backups.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "core/database_backup.h"
#include "core/discovery_answers.h"
#include "core/event_log_line.h"
#include "core/ini_store.h"
#include "station/database_messages.h"

namespace varnetix {

namespace {

const QString kTitle = QStringLiteral("Restore backup");

QString pathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString fileName(const std::string& path) {
    return QFileInfo(pathText(path)).fileName();
}

QString timeOf(const std::string& backup) {
    const std::optional<std::time_t> made = databaseBackupTime(backup);
    return made ? QDateTime::fromSecsSinceEpoch(*made).toString(
                      QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                : fileName(backup);
}

QString elementsText(std::size_t count) {
    return count == 1 ? QStringLiteral("1 element") : QStringLiteral("%1 elements").arg(count);
}

QString reasonOf(const IniLoad& load) {
    // A backup that went between the listing and the reading has no reason of its own.
    return load.state == FileState::Missing ? QString::fromLocal8Bit(std::strerror(ENOENT))
                                            : QString::fromStdString(load.result.reason);
}

} // namespace

DatabaseBackups::DatabaseBackups(ElementDatabase& database, OperatorDialogs& dialogs,
                                 EventSink& log, QObject* parent)
    : QAbstractTableModel(parent), m_database(database), m_dialogs(dialogs), m_log(log) {}

void DatabaseBackups::refresh() {
    beginResetModel();
    m_rows.clear();
    const IniLoad& current = m_database.current();
    std::vector<std::string> paths = listDatabaseBackups(m_database.path());
    if (paths.size() > kListed)
        paths.resize(kListed);
    for (const std::string& path : paths) {
        Row row;
        row.path = path;
        row.time = timeOf(path);
        const IniLoad backup = readIniFile(path);
        row.state = backup.state;
        if (backup.state != FileState::Loaded) {
            row.reason = reasonOf(backup);
            row.difference = QStringLiteral("Cannot be read: %1").arg(row.reason);
        } else if (current.state == FileState::Unreadable) {
            row.elements = CompareBackup({}, backup.document, 0).elements;
            row.difference = QStringLiteral("The current database cannot be read");
        } else {
            const BackupComparison comparison = CompareBackup(current.document, backup.document, 0);
            row.elements = comparison.elements;
            row.difference = QString::fromStdString(ComparisonSummary(comparison));
        }
        m_rows.push_back(std::move(row));
    }
    endResetModel();
}

int DatabaseBackups::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int DatabaseBackups::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DatabaseBackups::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Row& row = m_rows[std::size_t(index.row())];
    const bool readable = row.state == FileState::Loaded;
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == TimeColumn)
            return row.time;
        if (index.column() == ElementsColumn)
            return readable ? QString::number(row.elements) : QStringLiteral("-");
        return row.difference;
    case Qt::ToolTipRole:
        return pathText(row.path);
    case kRestorableRole:
        return readable;
    case kPathRole:
        return pathText(row.path);
    default:
        return {};
    }
}

QVariant DatabaseBackups::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QString kHeaders[] = {QStringLiteral("Made (local time)"),
                                       QStringLiteral("Elements"),
                                       QStringLiteral("Compared with the current database")};
    return section >= 0 && section < ColumnCount ? kHeaders[section] : QVariant();
}

DatabaseBackups::Preview DatabaseBackups::preview(int row) const {
    if (row < 0 || row >= rowCount())
        return {QStringLiteral("No backup is selected."), {}};
    const IniLoad backup = readIniFile(m_rows[std::size_t(row)].path);
    if (backup.state != FileState::Loaded)
        return {QStringLiteral("This backup cannot be read: %1. It cannot be restored.")
                    .arg(reasonOf(backup)),
                {}};
    const IniLoad& current = m_database.current();
    if (current.state == FileState::Unreadable)
        return {QStringLiteral("The current database cannot be read: %1. A restore keeps it as a "
                               "backup.")
                    .arg(QString::fromStdString(current.result.reason)),
                {}};
    return {{}, CompareBackup(current.document, backup.document, kPreviewed)};
}

void DatabaseBackups::keepAnswersWith(const std::string& backup) {
    // The answers described the database that is now the backup: they go with it, or go.
    const std::string answers = DiscoveryAnswersPath(m_database.path());
    if (backup.empty() || std::rename(answers.c_str(), DiscoveryAnswersPath(backup).c_str()) != 0)
        std::remove(answers.c_str());
}

void DatabaseBackups::putAnswersBack(const std::string& backup) {
    // A backup that a restore made holds the answers of its database; losing them loses no
    // element, only what the network check knew of the answers.
    const FileContent answers = readWholeFile(DiscoveryAnswersPath(backup));
    if (answers.state == FileState::Loaded)
        (void)WriteFileAtomically(DiscoveryAnswersPath(m_database.path()), answers.text);
}

bool DatabaseBackups::restore(int row) {
    if (row < 0 || row >= rowCount())
        return false;
    // A copy: the rows may be read again while the question is open.
    const Row chosen = m_rows[std::size_t(row)];
    const FileContent content = readWholeFile(chosen.path);
    if (content.state != FileState::Loaded) {
        m_dialogs.critical(
            kTitle, joinLines({QStringLiteral("The backup '%1' cannot be read: %2.")
                                   .arg(pathText(chosen.path),
                                        QString::fromStdString(content.state == FileState::Missing
                                                                   ? std::strerror(ENOENT)
                                                                   : content.result.reason)),
                               QStringLiteral("Nothing was restored.")}));
        return false;
    }
    const bool yes = m_dialogs.question(
        kTitle,
        joinLines({QStringLiteral("The local database will be replaced by the backup of %1 (%2).")
                       .arg(chosen.time, elementsText(chosen.elements)),
                   QStringLiteral("The current database is kept as a backup, so that this can be "
                                  "undone the same way."),
                   QStringLiteral("Restoring the database does not reconfigure the network: "
                                  "nothing is sent to any element."),
                   QStringLiteral("Are you sure?")}));
    if (!yes)
        return false;

    // The change is told once, when the restore is complete.
    std::optional<ElementDatabase::Operation> restoring(std::in_place, m_database);
    // Every backup stays until the chosen one is in place: it may be the oldest.
    const DatabaseBackup kept = m_database.moveAside(std::numeric_limits<std::size_t>::max());
    if (!kept.result.ok()) {
        m_dialogs.critical(
            kTitle,
            storeFailureMessage(kept.result, QStringLiteral("The current database could not be "
                                                            "kept as a backup. Nothing was "
                                                            "restored.")));
        return false;
    }
    if (const StoreResult written = m_database.replace(content.text); !written.ok()) {
        // The database comes back as it was: a rename needs no room on the disk.
        if (!kept.path.empty())
            (void)m_database.restore(kept.path);
        m_dialogs.critical(
            kTitle, storeFailureMessage(written, QStringLiteral("Nothing was restored: the local "
                                                                "database is as it was.")));
        return false;
    }
    keepAnswersWith(kept.path);
    putAnswersBack(chosen.path);
    pruneDatabaseBackups(m_database.path());
    const QString replaced = kept.path.empty()
                                 ? QStringLiteral("There was no database to keep.")
                                 : QStringLiteral("The database it replaced is kept as the backup "
                                                  "of %1.")
                                       .arg(timeOf(kept.path));
    m_log.record(event_category::kStation, {},
                 QStringLiteral("Database restored from %1 (%2). %3")
                     .arg(fileName(chosen.path), chosen.difference, replaced));
    restoring.reset();
    emit restored();
    m_dialogs.information(
        kTitle,
        joinLines({QStringLiteral("The backup of %1 is the local database now.").arg(chosen.time),
                   replaced}));
    return true;
}

} // namespace varnetix
