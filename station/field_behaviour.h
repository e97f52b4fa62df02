// The live behaviour of the panel's text fields: the whole text selected on entry, invalid
// addresses shown light red while typed, the name upper-cased when left.
#pragma once

#include <QObject>

#include "station/window_controls.h"

namespace varnetix {

class FieldBehaviour : public QObject {
    Q_OBJECT
public:
    explicit FieldBehaviour(WindowControls& controls, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static void colourAddress(QLineEdit* field);

    WindowControls& m_c;
};

} // namespace varnetix
