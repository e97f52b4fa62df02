#include "station/field_behaviour.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QTimer>

#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

FieldBehaviour::FieldBehaviour(WindowControls& controls, QObject* parent)
    : QObject(parent), m_c(controls) {
    for (QLineEdit* field : {m_c.txtElementName, m_c.txtElementIP, m_c.txtElementMask,
                             m_c.txtElementGW, m_c.txtRemoteIP, m_c.txtVLAN_OM, m_c.txtVLAN_Audio})
        field->installEventFilter(this);
    for (QLineEdit* field :
         {m_c.txtElementIP, m_c.txtElementMask, m_c.txtElementGW, m_c.txtRemoteIP}) {
        connect(field, &QLineEdit::textChanged, field, [field] { colourAddress(field); });
    }
}

void FieldBehaviour::colourAddress(QLineEdit* field) {
    const QString text = field->text();
    const bool valid = text.isEmpty() || IsValidIp(text.toStdString());
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, valid ? QApplication::palette(field).color(QPalette::Base)
                                           : kColourInvalidAddress);
    field->setPalette(palette);
}

bool FieldBehaviour::eventFilter(QObject* watched, QEvent* event) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    // Only a move of the focus inside the window counts: when a message box, a context menu or
    // another program takes the activation and gives it back, the field is as it was left.
    if (field && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QObject::eventFilter(watched, event);
    }
    if (field && event->type() == QEvent::FocusIn) {
        // After the focus change a mouse press would place the cursor and undo the selection,
        // so select once the press has been handled.
        QTimer::singleShot(0, field, &QLineEdit::selectAll);
    } else if (field == m_c.txtElementName && event->type() == QEvent::FocusOut) {
        field->setText(field->text().toUpper());
    }
    return QObject::eventFilter(watched, event);
}

} // namespace varnetix
