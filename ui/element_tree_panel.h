// frmTreeView: the element tree (TreeView1) in its frame, whose caption counts the nodes. A
// click on a node, or Return or Space on it, asks for the element to be loaded. Beside each
// node's picture it marks the element's state, the last discovery's news and the network
// check's warnings, and names them in the node's accessible description.
#pragma once

#include <QGroupBox>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "station/element_tree_controller.h"
#include "station/element_watch.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace varnetix {

class ElementTreePanel : public QGroupBox, public ElementTreeView, public ElementStatusView {
    Q_OBJECT
public:
    explicit ElementTreePanel(QWidget* parent = nullptr);

    void showElements(const std::vector<ElementNode>& nodes) override;
    void showStatus(const std::string& section, ElementState state,
                    const QString& tooltip) override;
    // What the last discovery found new or changed; marked until the next one.
    void showChanges(const std::set<std::string>& added, const std::set<std::string>& changed);
    // The network check's findings by section.
    void showWarnings(const std::map<std::string, QStringList>& warnings);
    // Selects the element's node and loads it, as a click does.
    void activate(const std::string& section);
    QTreeWidget* tree() const { return m_tree; }

signals:
    // The node's key: the element's MAC in colon form.
    void nodeActivated(const QString& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Marks {
        ElementState state = ElementState::Unknown;
        QString statusTip;
    };
    QTreeWidgetItem* itemFor(const std::string& section) const;
    void decorate(QTreeWidgetItem* item) const;

    QTreeWidget* m_tree;
    std::unordered_map<std::string, QTreeWidgetItem*> m_items; // by upper-case section
    std::map<std::string, Marks> m_marks;                      // by upper-case section
    std::set<std::string> m_added, m_changed;
    std::map<std::string, QStringList> m_warnings;
};

} // namespace varnetix
