#include "ui/element_tree_panel.h"

#include <QKeyEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/text_procedures.h"
#include "platform/byte_text.h"
#include "ui/node_badges.h"
#include "ui/pictures.h"

namespace varnetix {

namespace {

constexpr int kSectionRole = Qt::UserRole + 1;

QString keyOf(const QTreeWidgetItem* item) {
    return item->data(0, Qt::UserRole).toString();
}

std::string sectionKey(const std::string& section) {
    return ToUpperAscii(section);
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
    m_tree->setItemDelegate(new NodeBadgeDelegate(m_tree));
    m_tree->installEventFilter(this);
    // Wide enough for a node of a typical name and its marks.
    m_tree->setMinimumWidth(m_tree->fontMetrics().horizontalAdvance(
                                QStringLiteral("STUDIO ENCODER 1 [00:1A:2B:3C:4D:5E]")) +
                            4 * m_tree->iconSize().width() + 3 * m_tree->frameWidth() + 16);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    connect(m_tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { emit nodeActivated(keyOf(item)); });
}

void ElementTreePanel::showElements(const std::vector<ElementNode>& nodes) {
    m_tree->clear();
    m_items.clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(nodes.size()));
    const QIcon encoder = picture(kPictureEncoder);
    const QIcon decoder = picture(kPictureDecoder);
    for (const ElementNode& node : nodes) {
        auto* item = new QTreeWidgetItem(QStringList{fromBytes(node.text)});
        item->setData(0, Qt::UserRole, fromBytes(node.key));
        item->setData(0, kSectionRole, fromBytes(sectionKey(node.section)));
        item->setIcon(0, node.encoder ? encoder : decoder);
        // The first of two sections that differ only in case is the one the database reads.
        m_items.emplace(sectionKey(node.section), item);
        decorate(item);
        items << item;
    }
    m_tree->addTopLevelItems(items);
    setTitle(fromBytes(ElementCountCaption(nodes.size())));
}

QTreeWidgetItem* ElementTreePanel::itemFor(const std::string& section) const {
    const auto found = m_items.find(sectionKey(section));
    return found == m_items.end() ? nullptr : found->second;
}

void ElementTreePanel::decorate(QTreeWidgetItem* item) const {
    const std::string section = toBytes(item->data(0, kSectionRole).toString());
    const auto marks = m_marks.find(section);
    const ElementState state = marks == m_marks.end() ? ElementState::Unknown : marks->second.state;
    const NodeChange change = m_added.count(section)     ? NodeChange::New
                              : m_changed.count(section) ? NodeChange::Changed
                                                         : NodeChange::None;
    const auto warnings = m_warnings.find(section);
    const bool warned = warnings != m_warnings.end() && !warnings->second.isEmpty();
    item->setData(0, kNodeStateRole, static_cast<int>(state));
    item->setData(0, kNodeChangeRole, static_cast<int>(change));
    item->setData(0, kNodeWarningRole, warned);

    // What a sighted operator sees, a screen reader and automation read.
    QString description = QString::fromStdString(StateWord(state));
    QStringList tip;
    if (marks != m_marks.end() && !marks->second.statusTip.isEmpty())
        tip << marks->second.statusTip;
    if (change == NodeChange::New) {
        description += QStringLiteral(", new");
        tip << QStringLiteral("New since the previous discovery");
    } else if (change == NodeChange::Changed) {
        description += QStringLiteral(", changed");
        tip << QStringLiteral("Changed since the previous discovery");
    }
    if (warned) {
        description += QStringLiteral(", warning");
        tip << warnings->second;
    }
    item->setData(0, Qt::AccessibleDescriptionRole, description);
    item->setToolTip(0, tip.join(QLatin1Char('\n')));
}

void ElementTreePanel::showStatus(const std::string& section, ElementState state,
                                  const QString& tooltip) {
    m_marks[sectionKey(section)] = {state, tooltip};
    if (QTreeWidgetItem* item = itemFor(section))
        decorate(item);
}

void ElementTreePanel::showChanges(const std::set<std::string>& added,
                                   const std::set<std::string>& changed) {
    m_added.clear();
    m_changed.clear();
    for (const std::string& section : added)
        m_added.insert(sectionKey(section));
    for (const std::string& section : changed)
        m_changed.insert(sectionKey(section));
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        decorate(m_tree->topLevelItem(i));
}

void ElementTreePanel::showWarnings(const std::map<std::string, QStringList>& warnings) {
    m_warnings.clear();
    for (const auto& [section, sentences] : warnings)
        m_warnings[sectionKey(section)] += sentences;
    for (int i = 0; i < m_tree->topLevelItemCount(); ++i)
        decorate(m_tree->topLevelItem(i));
}

void ElementTreePanel::activate(const std::string& section) {
    if (QTreeWidgetItem* item = itemFor(section)) {
        m_tree->setCurrentItem(item);
        m_tree->setFocus();
        emit nodeActivated(keyOf(item));
    }
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
