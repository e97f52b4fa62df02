// The element panel laid out for the role in lblElementType, and the panel's clearing.
#pragma once

#include <QObject>

#include "station/window_controls.h"

namespace varnetix {

class RoleLayout : public QObject {
    Q_OBJECT
public:
    // Runs the layout on every setting of the role caption, also to the same text, so that the
    // audio-level buttons always match the loaded role.
    explicit RoleLayout(WindowControls& controls, QObject* parent = nullptr);

    void ClearElementFields();
    // The TX-type rule: on an encoder, Multicast hides the remote address.
    void applyTxRule();

private:
    void applyLayout(const QString& role);
    void resetLevelDisplay(bool encoder);

    WindowControls& m_c;
};

} // namespace varnetix
