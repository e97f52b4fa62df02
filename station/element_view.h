// Loads the clicked element's record from the database into the element panel.
#pragma once

#include <QObject>
#include <string>

#include "station/operator_dialogs.h"
#include "station/window_controls.h"

namespace varnetix {

class ElementView : public QObject {
    Q_OBJECT
public:
    ElementView(WindowControls& controls, OperatorDialogs& dialogs, std::string databasePath,
                QObject* parent = nullptr);

    // The node's key is the element's MAC in colon form.
    void NodeClick(const QString& nodeKey);

private:
    WindowControls& m_c;
    OperatorDialogs& m_dialogs;
    std::string m_databasePath;
};

} // namespace varnetix
