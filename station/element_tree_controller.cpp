#include "station/element_tree_controller.h"

#include "core/ini_store.h"
#include "platform/byte_text.h"
#include "station/database_messages.h"

namespace varnetix {

ElementTreeController::ElementTreeController(ElementTreeView& view, OperatorDialogs& dialogs,
                                             ElementDatabase& database, QObject* parent)
    : QObject(parent), m_view(view), m_dialogs(dialogs), m_database(database) {
    connect(&m_database, &ElementDatabase::changed, this, &ElementTreeController::followDatabase);
}

void ElementTreeController::emptyLists() {
    m_sections.clear();
    m_shown.clear();
    m_view.showElements({});
    emit encodersListed({});
    emit listsEmptied();
}

void ElementTreeController::reload() {
    emptyLists();
    // One reading of the file serves the whole rebuild, so that even a large database is shown
    // at once and the window never waits on it.
    const IniLoad load = m_database.reload();
    // Every rebuild tells the watch what it found, also when that is nothing, and before any
    // box: the elements that left are not watched while the box waits.
    if (load.state == FileState::Unreadable) {
        emit elementsListed({});
        // An empty list here must not read as an empty database.
        m_dialogs.critical(
            kApplicationTitle,
            unreadableDatabaseMessage(
                load.result,
                QStringLiteral("Nothing will be written to it until it can be read.")));
        return;
    }
    ElementTree tree = BuildElementTree(load.document, load.state == FileState::Loaded);
    if (tree.database != ElementTree::Database::Loaded) {
        emit elementsListed({});
        const QString second =
            tree.database == ElementTree::Database::Missing
                ? QStringLiteral("Please click 'Auto Discover' icon to probe the network.")
                : QStringLiteral("Please click the 'Auto Discover' icon to probe the network.");
        m_dialogs.information(QStringLiteral("Information"),
                              joinLines({QStringLiteral("Local database is empty."), second}));
        return;
    }
    show(std::move(tree));
}

void ElementTreeController::followDatabase() {
    const IniLoad& load = m_database.current();
    ElementTree tree = BuildElementTree(load.document, load.state == FileState::Loaded);
    if (tree.database != ElementTree::Database::Loaded)
        tree = {};
    if (tree.nodes == m_shown)
        return;
    show(std::move(tree));
}

void ElementTreeController::show(ElementTree tree) {
    m_sections = std::move(tree.sections);
    m_shown = tree.nodes;
    m_view.showElements(tree.nodes);
    QStringList encoders;
    for (const std::string& text : tree.encoders)
        encoders << fromBytes(text);
    emit encodersListed(encoders);
    emit elementsListed(tree.nodes);
}

} // namespace varnetix
