#include "ui/element_tree_panel.h"

#include <QKeyEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/byte_text.h"
#include "ui/pictures.h"

namespace varnetix {

namespace {

QString keyOf(const QTreeWidgetItem* item) {
    return item->data(0, Qt::UserRole).toString();
}

} // namespace

ElementTreePanel::ElementTreePanel(QWidget* parent)
    : QGroupBox(QStringLiteral("Elements"), parent), m_tree(new QTreeWidget) {
    setObjectName(QStringLiteral("frmTreeView"));
    m_tree->setObjectName(QStringLiteral("TreeView1"));
    m_tree->setHeaderHidden(true);
    m_tree->setRootIsDecorated(false);
    m_tree->setIconSize(QSize(16, 16));
    m_tree->setAccessibleName(QStringLiteral("Elements"));
    m_tree->installEventFilter(this);
    // Wide enough for a node of a typical name.
    m_tree->setMinimumWidth(m_tree->fontMetrics().horizontalAdvance(
                                QStringLiteral("STUDIO ENCODER 1 [00:1A:2B:3C:4D:5E]")) +
                            m_tree->iconSize().width() + 3 * m_tree->frameWidth() + 16);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    connect(m_tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { emit nodeActivated(keyOf(item)); });
}

void ElementTreePanel::showElements(const std::vector<ElementNode>& nodes) {
    m_tree->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(nodes.size()));
    const QIcon encoder = picture(kPictureEncoder);
    const QIcon decoder = picture(kPictureDecoder);
    for (const ElementNode& node : nodes) {
        auto* item = new QTreeWidgetItem(QStringList{fromBytes(node.text)});
        item->setData(0, Qt::UserRole, fromBytes(node.key));
        item->setIcon(0, node.encoder ? encoder : decoder);
        items << item;
    }
    m_tree->addTopLevelItems(items);
    setTitle(fromBytes(ElementCountCaption(nodes.size())));
}

bool ElementTreePanel::eventFilter(QObject* watched, QEvent* event) {
    // With the keyboard alone, Return or Space on a node loads it as a click does.
    if (watched == m_tree && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        QTreeWidgetItem* item = m_tree->currentItem();
        if (item && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)) {
            emit nodeActivated(keyOf(item));
            return true;
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

} // namespace varnetix
