// Discovery: after confirmation the database is emptied, the paging request is broadcast and
// the answers are stored while the discovery window waits, then the tree is rebuilt.
#pragma once

#include <QObject>
#include <QTimer>

#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/operator_dialogs.h"
#include "station/window_controls.h"
#include "ui/paging_window.h"

namespace varnetix {

class Discovery : public QObject {
    Q_OBJECT
public:
    Discovery(WindowControls& controls, OperatorDialogs& dialogs, DatagramLink& link,
              LinkState& state, const StationSettings& settings, QObject* parent = nullptr);

    // The toolbar command: asks, and on Yes runs one discovery; returns when the window closed.
    void ConfirmAutoDiscovery();

signals:
    void clearElementFields();
    void emptyLists(); // the tree, the section list and the encoders list emptied
    void reloadTree();
    void windowShown(varnetix::PagingWindow* window); // lets a caller watch the run

private:
    void startSteps(PagingWindow& window);
    void endSteps(PagingWindow& window);
    void recreateDatabase();

    WindowControls& m_c;
    OperatorDialogs& m_dialogs;
    DatagramLink& m_link;
    LinkState& m_state;
    const StationSettings& m_settings;
};

} // namespace varnetix
