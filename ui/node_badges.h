// The marks drawn beside a tree node's picture: the element's state (online, offline, not yet
// known), an encoder's audio (silent, level unknown), whether the last discovery found it new
// or changed, and whether the network check warns about it. Each mark has its own shape, so that it reads without colour too; the node's
// text and picture stay as they are.
#pragma once

#include <QStyledItemDelegate>

#include "station/element_model.h"

namespace varnetix {

class NodeBadgeDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    static int badgeSize(const QStyleOptionViewItem& option);
};

} // namespace varnetix
