// frmTreeView: the element tree (TreeView1) in its frame, whose caption counts the nodes. A
// click on a node, or Return or Space on it, asks for the element to be loaded. It shows the
// station's element model: beside each node's picture the element's state, the last discovery's
// news and the network check's warnings are marked.
#pragma once

#include <QGroupBox>
#include <string>

class QAbstractProxyModel;
class QTreeView;

namespace varnetix {

class ElementModel;

class ElementTreePanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ElementTreePanel(ElementModel& model, QWidget* parent = nullptr);

    // Selects the element's node and loads it, as a click does.
    void activate(const std::string& section);
    QTreeView* tree() const { return m_tree; }

signals:
    // The node's key: the element's MAC in colon form.
    void nodeActivated(const QString& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ElementModel& m_model;
    QAbstractProxyModel* m_shown; // the model with the nodes' pictures
    QTreeView* m_tree;
};

} // namespace varnetix
