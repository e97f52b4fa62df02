// frmMain: the station's one window. It creates the controls and the controllers, connects
// them, and runs the start-up sequence; the controllers carry the behaviour.
#pragma once

#include <QWidget>
#include <memory>

#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "platform/echo_probe.h"
#include "platform/mac_resolver.h"
#include "platform/udp_endpoint.h"
#include "station/operator_dialogs.h"
#include "station/window_controls.h"

namespace varnetix {

class AttenuationControl;
class ConfigSender;
class Discovery;
class ElementTreeController;
class ElementView;
class FeedbackHandler;
class FieldBehaviour;
class LevelMonitor;
class PingController;
class RoleLayout;

class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(StationSettings settings, OperatorDialogs& dialogs, MacResolver& resolver,
               EchoProbe& probe, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up after the single-instance test: false when the endpoint could not be bound
    // (the operator has been told; the program ends).
    bool Form_Load();

    void ReloadElementTree();
    void toolbarClicked(int index);

    WindowControls& controls() { return m_c; }
    const StationSettings& settings() const { return m_settings; }
    UdpEndpoint& udpClient() { return m_udpClient; }
    LinkState& linkState() { return m_linkState; }
    ElementTreeController& tree() { return *m_tree; }
    ElementView& elementView() { return *m_view; }
    RoleLayout& roleLayout() { return *m_layout; }
    FeedbackHandler& feedback() { return *m_feedback; }
    Discovery& discovery() { return *m_discovery; }
    ConfigSender& configSender() { return *m_config; }
    AttenuationControl& attenuation() { return *m_attenuation; }
    LevelMonitor& levelMonitor() { return *m_level; }
    PingController& ping() { return *m_ping; }

    // The datagram dispatch: by length to the audio-level display or the feedback handling.
    void dispatch(const QByteArray& datagram);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createToolbar();
    void createElementPanel();
    void createDiagnosticsPanel();
    void createTimers();
    void setAccessibility();
    void setTabOrder();
    void connectControllers();

    StationSettings m_settings;
    OperatorDialogs& m_dialogs;
    MacResolver& m_resolver;
    EchoProbe& m_probe;
    WindowControls m_c;
    UdpEndpoint m_udpClient;
    LinkState m_linkState;

    std::unique_ptr<ElementTreeController> m_tree;
    std::unique_ptr<RoleLayout> m_layout;
    std::unique_ptr<FieldBehaviour> m_fields;
    std::unique_ptr<ElementView> m_view;
    std::unique_ptr<FeedbackHandler> m_feedback;
    std::unique_ptr<Discovery> m_discovery;
    std::unique_ptr<ConfigSender> m_config;
    std::unique_ptr<AttenuationControl> m_attenuation;
    std::unique_ptr<LevelMonitor> m_level;
    std::unique_ptr<PingController> m_ping;
};

// "Varnetix NMS v.3.0.0 - Halvoren Broadcast", from the program's version numbers.
QString stationTitle();

} // namespace varnetix
