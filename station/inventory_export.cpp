#include "station/inventory_export.h"

#include <QFile>
#include <QFileInfo>

#include "core/event_log_line.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "core/output_file.h"
#include "station/database_messages.h"

namespace varnetix {

InventoryExport::InventoryExport(OperatorDialogs& dialogs, EventSink& log,
                                 ElementDatabase& database,
                                 std::function<QString(const std::string&)> status, QObject* parent)
    : QObject(parent), m_dialogs(dialogs), m_log(log), m_database(database),
      m_status(std::move(status)) {}

void InventoryExport::exportInventory() {
    const QString title = QStringLiteral("Export inventory");
    const IniLoad database = m_database.current();
    if (database.state == FileState::Unreadable) {
        m_dialogs.critical(title, unreadableDatabaseMessage(
                                      database.result, QStringLiteral("Nothing was exported.")));
        return;
    }
    QString path = m_dialogs.saveFileName(title, QStringLiteral("varnetix-inventory.csv"),
                                          QStringLiteral("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    // A name typed without a suffix means a CSV file; an existing file (a device, a FIFO) is
    // taken as named.
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path))
        path += QStringLiteral(".csv");
    const std::string csv = inventoryCsv(database.document, [this](const std::string& section) {
        return m_status ? m_status(section).toStdString() : std::string();
    });
    const StoreResult written = WriteOutputFile(QFile::encodeName(path).toStdString(), csv);
    if (!written.ok()) {
        m_dialogs.critical(title, joinLines({QStringLiteral("Unable to write '%1': %2.")
                                                 .arg(path, QString::fromStdString(written.reason)),
                                             QStringLiteral("Nothing was exported.")}));
        return;
    }
    m_log.record(event_category::kStation, {},
                 QStringLiteral("Inventory exported to %1").arg(path));
}

} // namespace varnetix
