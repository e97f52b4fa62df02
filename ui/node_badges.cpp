#include "ui/node_badges.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include "core/audio_status.h"
#include "core/element_status.h"

namespace varnetix {

namespace {

constexpr int kSlots = 4; // warning, change, audio, state

void drawState(QPainter& p, const QRectF& r, ElementState state) {
    const QRectF box = r.adjusted(1.5, 1.5, -1.5, -1.5);
    switch (state) {
    case ElementState::Online: // a filled disc
        p.setPen(QPen(QColor(0, 100, 0), 1));
        p.setBrush(QColor(0, 170, 0));
        p.drawEllipse(box);
        break;
    case ElementState::Offline: // a square with a cross
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 0, 0));
        p.drawRect(box);
        p.setPen(QPen(Qt::white, std::max(1.5, box.width() / 6)));
        p.drawLine(box.topLeft() + QPointF(2, 2), box.bottomRight() - QPointF(2, 2));
        p.drawLine(box.topRight() + QPointF(-2, 2), box.bottomLeft() + QPointF(2, -2));
        break;
    case ElementState::Unknown: // a hollow ring
        p.setPen(QPen(QColor(120, 120, 120), std::max(1.5, box.width() / 7)));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(box.adjusted(1, 1, -1, -1));
        break;
    }
}

// A loudspeaker: struck through and filled when silent, hollow when its level is unknown.
void drawAudio(QPainter& p, const QRectF& r, AudioState state) {
    if (state != AudioState::Silent && state != AudioState::Unknown)
        return;
    const QRectF box = r.adjusted(1.5, 2.5, -1.5, -2.5);
    const double w = box.width(), h = box.height();
    QPainterPath speaker;
    speaker.moveTo(box.left(), box.top() + h * 0.3);
    speaker.lineTo(box.left() + w * 0.3, box.top() + h * 0.3);
    speaker.lineTo(box.left() + w * 0.65, box.top());
    speaker.lineTo(box.left() + w * 0.65, box.bottom());
    speaker.lineTo(box.left() + w * 0.3, box.top() + h * 0.7);
    speaker.lineTo(box.left(), box.top() + h * 0.7);
    speaker.closeSubpath();
    const double line = std::max(1.5, w / 7);
    if (state == AudioState::Silent) {
        p.setPen(QPen(QColor(120, 0, 0), 1));
        p.setBrush(QColor(210, 0, 0));
        p.drawPath(speaker);
        p.setPen(QPen(QColor(210, 0, 0), line, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(box.left() + w * 0.05, box.bottom()), QPointF(box.right(), box.top()));
        return;
    }
    p.setPen(QPen(QColor(120, 120, 120), line / 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(speaker);
}

void drawChange(QPainter& p, const QRectF& r, NodeChange change) {
    const QRectF box = r.adjusted(1.5, 1.5, -1.5, -1.5);
    p.setBrush(Qt::NoBrush);
    if (change == NodeChange::New) { // a plus
        p.setPen(QPen(QColor(0, 90, 200), std::max(2.0, box.width() / 5)));
        p.drawLine(QPointF(box.center().x(), box.top()), QPointF(box.center().x(), box.bottom()));
        p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
    } else if (change == NodeChange::Changed) { // a hollow triangle, delta
        QPainterPath delta;
        delta.moveTo(box.center().x(), box.top());
        delta.lineTo(box.bottomRight());
        delta.lineTo(box.bottomLeft());
        delta.closeSubpath();
        p.setPen(QPen(QColor(0, 90, 200), std::max(1.5, box.width() / 7)));
        p.drawPath(delta);
    }
}

void drawWarning(QPainter& p, const QRectF& r) { // a filled triangle with "!"
    const QRectF box = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath sign;
    sign.moveTo(box.center().x(), box.top());
    sign.lineTo(box.bottomRight());
    sign.lineTo(box.bottomLeft());
    sign.closeSubpath();
    p.setPen(QPen(QColor(90, 70, 0), 1));
    p.setBrush(QColor(255, 200, 0));
    p.drawPath(sign);
    p.setPen(QPen(Qt::black, std::max(1.5, box.width() / 8)));
    const double x = box.center().x();
    p.drawLine(QPointF(x, box.top() + box.height() * 0.35),
               QPointF(x, box.top() + box.height() * 0.7));
    p.drawPoint(QPointF(x, box.top() + box.height() * 0.85));
}

} // namespace

int NodeBadgeDelegate::badgeSize(const QStyleOptionViewItem& option) {
    return std::max(option.decorationSize.height(), option.fontMetrics.height() * 3 / 4);
}

void NodeBadgeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const int size = badgeSize(option);
    // The row's background (and its selection) runs under the marks too.
    QStyleOptionViewItem area = option;
    initStyleOption(&area, index);
    area.rect.setWidth(kSlots * size);
    const QWidget* view = option.widget;
    QStyle* style = view ? view->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &area, painter, view);

    QStyleOptionViewItem rest = option;
    rest.rect.setLeft(option.rect.left() + kSlots * size);
    QStyledItemDelegate::paint(painter, rest, index);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const auto slot = [&](int n) {
        return QRectF(option.rect.left() + n * size, option.rect.center().y() - size / 2.0, size,
                      size);
    };
    // The state, always there, stands next to the node's picture; the occasional marks before it.
    if (index.data(kNodeWarningRole).toBool())
        drawWarning(*painter, slot(0));
    drawChange(*painter, slot(1), static_cast<NodeChange>(index.data(kNodeChangeRole).toInt()));
    if (const QVariant audio = index.data(kNodeAudioRole); audio.isValid())
        drawAudio(*painter, slot(2), static_cast<AudioState>(audio.toInt()));
    drawState(*painter, slot(3), static_cast<ElementState>(index.data(kNodeStateRole).toInt()));
    painter->restore();
}

QSize NodeBadgeDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += kSlots * badgeSize(option);
    return size;
}

} // namespace varnetix
