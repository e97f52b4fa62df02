// What the element panel shows: the clicked element's record loaded into it (loadElement), the
// panel cleared when nothing is selected, and the list refreshed from the database.
#pragma once

#include <QObject>
#include <string>

#include "station/element_editor.h"
#include "station/element_selection.h"
#include "station/element_tree_controller.h"
#include "station/level_monitor.h"
#include "station/operator_dialogs.h"
#include "station/ping_controller.h"

namespace varnetix {

class ElementView : public QObject {
    Q_OBJECT
public:
    ElementView(ElementEditor& editor, ElementSelection& selection, ElementTreeController& tree,
                LevelMonitor& level, PingController& ping, OperatorDialogs& dialogs,
                ElementDatabase& database, QObject* parent = nullptr);

    // The node's key is the element's MAC in colon form.
    void loadElement(const QString& nodeKey);
    void clearElementFields();
    // The toolbar's "Refresh list": the tree rebuilt from the file and the panel cleared.
    void reloadElementTree();

private:
    ElementEditor& m_editor;
    ElementSelection& m_selection;
    ElementTreeController& m_tree;
    LevelMonitor& m_level;
    PingController& m_ping;
    OperatorDialogs& m_dialogs;
    ElementDatabase& m_database;
};

} // namespace varnetix
