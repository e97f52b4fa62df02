// The views a face gives the station, and the one object the controllers draw on: it passes
// each call to the view attached for it, or does nothing where a face has none (the headless
// face has no panels; its paging "window" is only a wait).
#pragma once

#include <QEventLoop>

#include "station/discovery.h"
#include "station/element_editor.h"
#include "station/level_monitor.h"
#include "station/network_check_controller.h"
#include "station/ping_controller.h"

namespace varnetix {

// Every member may be null.
struct StationViews {
    ElementEditor* editor = nullptr;
    LevelDisplay* level = nullptr;
    PingIndicator* ping = nullptr;
    PagingView* paging = nullptr;
    FindingsView* findings = nullptr;
};

class ViewRelay : public ElementEditor,
                  public LevelDisplay,
                  public PingIndicator,
                  public PagingView,
                  public FindingsView {
public:
    void attach(const StationViews& views) { m_views = views; }

    EditedConfiguration editedConfiguration() const override;
    void showStoredFields(const StoredFields& fields) override;
    void setAttenuation(std::optional<int> step) override;
    void setBufferSize(std::optional<int> size) override;
    void showSerialNumber(const QString& text) override;
    void showVersion(const QString& text) override;
    void clearFields() override;
    void arrange(ElementRole role) override;

    void showLevelWidth(int units) override;
    void showLevelText(const QString& text) override;
    void enableLevelBar(bool enabled) override;

    void showPingCaption(const QString& caption) override;
    void showPingColour(PingColour colour) override;

    // Without a paging window the run waits in a loop of its own until it is ended.
    void runModal() override;
    void closeWindow() override;

    void showFindings(const std::vector<Finding>& findings) override;

private:
    StationViews m_views;
    QEventLoop* m_wait = nullptr;
};

} // namespace varnetix
