// frmTreeView: the element tree (TreeView1) in its frame, whose caption counts the nodes. A
// click on a node, or Return or Space on it, asks for the element to be loaded.
#pragma once

#include <QGroupBox>

#include "station/element_tree_controller.h"

class QTreeWidget;

namespace varnetix {

class ElementTreePanel : public QGroupBox, public ElementTreeView {
    Q_OBJECT
public:
    explicit ElementTreePanel(QWidget* parent = nullptr);

    void showElements(const std::vector<ElementNode>& nodes) override;
    QTreeWidget* tree() const { return m_tree; }

signals:
    // The node's key: the element's MAC in colon form.
    void nodeActivated(const QString& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTreeWidget* m_tree;
};

} // namespace varnetix
