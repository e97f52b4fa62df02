// Discovery: after confirmation the database is emptied, the paging request is broadcast and
// the answers are stored while the discovery window waits, then the tree is rebuilt.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QObject>
#include <QTimer>

#include "editor/operator_dialogs.h"
#include "editor/window_controls.h"
#include "protocol/datagram_link.h"
#include "store/station_settings.h"

namespace varnetix {

// frmPaging: the small modal window shown while the answers come in.
class PagingWindow : public QDialog {
    Q_OBJECT
public:
    explicit PagingWindow(QWidget* parent = nullptr);
    QLabel* Label1;
    QTimer* Timer1;
};

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
