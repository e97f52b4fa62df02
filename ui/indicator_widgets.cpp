#include "ui/indicator_widgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace varnetix {

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickableLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

ShapeIndicator::ShapeIndicator(QWidget* parent) : QFrame(parent), m_fill(kColourNotTested) {
    setFrameShape(QFrame::Box);
}

void ShapeIndicator::setFillColor(const QColor& color) {
    m_fill = color;
    update();
}

void ShapeIndicator::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(rect(), m_fill);
    QFrame::paintEvent(event);
}

LevelBar::LevelBar(int fullScale, QWidget* parent) : QFrame(parent), m_fullScale(fullScale) {
    setFrameShape(QFrame::NoFrame);
}

void LevelBar::setLevelWidth(int units) {
    m_units = std::clamp(units, 0, m_fullScale);
    update();
}

void LevelBar::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (m_units <= 0 || !isEnabled())
        return;
    QPainter painter(this);
    const int pixels = static_cast<int>(static_cast<qint64>(width()) * m_units / m_fullScale);
    painter.fillRect(QRect(0, 0, pixels, height()), QColor(0, 160, 0));
}

} // namespace varnetix
