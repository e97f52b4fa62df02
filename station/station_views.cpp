#include "station/station_views.h"

namespace varnetix {

EditedConfiguration ViewRelay::editedConfiguration() const {
    return m_views.editor ? m_views.editor->editedConfiguration() : EditedConfiguration{};
}

void ViewRelay::showStoredFields(const StoredFields& fields) {
    if (m_views.editor)
        m_views.editor->showStoredFields(fields);
}

void ViewRelay::setAttenuation(std::optional<int> step) {
    if (m_views.editor)
        m_views.editor->setAttenuation(step);
}

void ViewRelay::setBufferSize(std::optional<int> size) {
    if (m_views.editor)
        m_views.editor->setBufferSize(size);
}

void ViewRelay::showSerialNumber(const QString& text) {
    if (m_views.editor)
        m_views.editor->showSerialNumber(text);
}

void ViewRelay::showVersion(const QString& text) {
    if (m_views.editor)
        m_views.editor->showVersion(text);
}

void ViewRelay::clearFields() {
    if (m_views.editor)
        m_views.editor->clearFields();
}

void ViewRelay::arrange(ElementRole role) {
    if (m_views.editor)
        m_views.editor->arrange(role);
}

void ViewRelay::showLevelWidth(int units) {
    if (m_views.level)
        m_views.level->showLevelWidth(units);
}

void ViewRelay::showLevelText(const QString& text) {
    if (m_views.level)
        m_views.level->showLevelText(text);
}

void ViewRelay::enableLevelBar(bool enabled) {
    if (m_views.level)
        m_views.level->enableLevelBar(enabled);
}

void ViewRelay::showPingCaption(const QString& caption) {
    if (m_views.ping)
        m_views.ping->showPingCaption(caption);
}

void ViewRelay::showPingColour(PingColour colour) {
    if (m_views.ping)
        m_views.ping->showPingColour(colour);
}

void ViewRelay::runModal() {
    if (m_views.paging) {
        m_views.paging->runModal();
        return;
    }
    QEventLoop wait;
    m_wait = &wait;
    wait.exec();
    m_wait = nullptr;
}

void ViewRelay::closeWindow() {
    if (m_views.paging)
        m_views.paging->closeWindow();
    else if (m_wait)
        m_wait->quit();
}

void ViewRelay::showFindings(const std::vector<Finding>& findings) {
    if (m_views.findings)
        m_views.findings->showFindings(findings);
}

} // namespace varnetix
