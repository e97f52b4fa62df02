// "Export...": the element database written as a CSV inventory to a file the operator chooses,
// with each element's state where the station watches it.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <string>

#include "station/element_database.h"
#include "station/event_log.h"
#include "station/operator_dialogs.h"

namespace varnetix {

class InventoryExport : public QObject {
    Q_OBJECT
public:
    InventoryExport(OperatorDialogs& dialogs, EventSink& log, ElementDatabase& database,
                    std::function<QString(const std::string& section)> status,
                    QObject* parent = nullptr);

    void exportInventory();

private:
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    ElementDatabase& m_database;
    std::function<QString(const std::string&)> m_status;
};

} // namespace varnetix
