#include "station/element_tree_controller.h"

#include <QFileInfo>

#include "core/element_tree.h"
#include "core/ini_store.h"
#include "platform/byte_text.h"

namespace varnetix {

ElementTreeController::ElementTreeController(WindowControls& controls, OperatorDialogs& dialogs,
                                             std::string databasePath, QObject* parent)
    : QObject(parent), m_c(controls), m_dialogs(dialogs), m_databasePath(std::move(databasePath)) {}

void ElementTreeController::emptyLists() {
    m_c.lstHidden->clear();
    m_c.TreeView1->clear();
    m_c.cmbEncoders->clear();
    m_c.cmbEncoders->addItem(QStringLiteral("<None>"));
    m_c.VUMeter->setLevelWidth(0);
    updateCaption();
}

void ElementTreeController::updateCaption() {
    m_c.frmTreeView->setTitle(fromBytes(
        ElementCountCaption(static_cast<std::size_t>(m_c.TreeView1->topLevelItemCount()))));
}

void ElementTreeController::Load_Config() {
    emptyLists();
    // One reading of the file serves the whole rebuild, so that even a large database is shown
    // at once and the window never waits on it.
    const bool exists = QFileInfo::exists(QString::fromStdString(m_databasePath));
    const ElementTree tree = BuildElementTree(IniDocument::load(m_databasePath), exists);
    if (tree.database != ElementTree::Database::Loaded) {
        const QString second =
            tree.database == ElementTree::Database::Missing
                ? QStringLiteral("Please click 'Auto Discover' icon to probe the network.")
                : QStringLiteral("Please click the 'Auto Discover' icon to probe the network.");
        m_dialogs.information(QStringLiteral("Information"),
                              joinLines({QStringLiteral("Local database is empty."), second}));
        updateCaption();
        return;
    }

    QStringList sections;
    sections.reserve(static_cast<qsizetype>(tree.sections.size()));
    for (const std::string& name : tree.sections)
        sections << fromBytes(name);
    m_c.lstHidden->addItems(sections);

    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(tree.nodes.size()));
    const QIcon encoder = m_c.picture(kPictureEncoder);
    const QIcon decoder = m_c.picture(kPictureDecoder);
    for (const ElementNode& node : tree.nodes) {
        auto* item = new QTreeWidgetItem(QStringList{fromBytes(node.text)});
        item->setData(0, Qt::UserRole, fromBytes(node.key));
        item->setIcon(0, node.encoder ? encoder : decoder);
        items << item;
    }
    m_c.TreeView1->addTopLevelItems(items);

    QStringList encoders;
    for (const std::string& text : tree.encoders)
        encoders << fromBytes(text);
    m_c.cmbEncoders->addItems(encoders);
    updateCaption();
}

} // namespace varnetix
