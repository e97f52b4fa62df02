// The element tree, the hidden section list and the encoders list, rebuilt from nms.ini.
#pragma once

#include <QObject>
#include <string>

#include "station/operator_dialogs.h"
#include "station/window_controls.h"

namespace varnetix {

class ElementTreeController : public QObject {
    Q_OBJECT
public:
    ElementTreeController(WindowControls& controls, OperatorDialogs& dialogs,
                          std::string databasePath, QObject* parent = nullptr);

    void Load_Config();
    // The first step of a rebuild: every list emptied, the level bar emptied, 0 items.
    void emptyLists();

private:
    void updateCaption();

    WindowControls& m_c;
    OperatorDialogs& m_dialogs;
    std::string m_databasePath;
};

} // namespace varnetix
