// frmDiagnostics: the ping readout (lblPing on shpPing) and the audio-level bar with its dBFS
// readout.
#pragma once

#include <QGroupBox>

#include "station/level_monitor.h"
#include "station/ping_controller.h"

class QLabel;

namespace varnetix {

class ClickableLabel;
class LevelBar;
class ShapeIndicator;

class DiagnosticsPanel : public QGroupBox, public PingIndicator, public LevelDisplay {
    Q_OBJECT
public:
    explicit DiagnosticsPanel(QWidget* parent = nullptr);

    void showPingCaption(const QString& caption) override;
    void showPingColour(PingColour colour) override;
    void showLevelWidth(int units) override;
    void showLevelText(const QString& text) override;
    void enableLevelBar(bool enabled) override;

    QWidget* pingReadout() const;

signals:
    void pingClicked();

private:
    ClickableLabel* m_pingLabel = nullptr;
    ShapeIndicator* m_pingShape = nullptr;
    LevelBar* m_levelBar = nullptr;
    QLabel* m_levelReadout = nullptr;
};

} // namespace varnetix
