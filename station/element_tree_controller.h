// The element tree, the section list and the encoders a decoder can be bound to,
// rebuilt from nms.ini.
#pragma once

#include <QObject>
#include <QStringList>
#include <string>
#include <vector>

#include "core/element_tree.h"
#include "station/element_database.h"
#include "station/operator_dialogs.h"

namespace varnetix {

// The tree as its controller sees it.
class ElementTreeView {
public:
    virtual ~ElementTreeView() = default;
    // Replaces every node; the frame caption counts them.
    virtual void showElements(const std::vector<ElementNode>& nodes) = 0;
};

class ElementTreeController : public QObject {
    Q_OBJECT
public:
    ElementTreeController(ElementTreeView& view, OperatorDialogs& dialogs,
                          ElementDatabase& database, QObject* parent = nullptr);

    // The operator's rebuild (start, Refresh, after a send or a discovery): the lists emptied,
    // the file read, an empty or unreadable database told in a box.
    void reload();
    // The first step of a rebuild: every list emptied, 0 items.
    void emptyLists();
    // The database's sections in file order, as the last rebuild read them.
    const std::vector<std::string>& sections() const { return m_sections; }

signals:
    // The node texts of the encoders, in file order ("<None>" is the panel's own first item).
    void encodersListed(const QStringList& encoders);
    // A rebuild has emptied the lists; the level bar goes empty with them.
    void listsEmptied();
    // The elements of the database as a rebuild read them; none when it found none or could not
    // read the file. Every rebuild sends it once.
    void elementsListed(const std::vector<varnetix::ElementNode>& elements);

private:
    // Follows each change the station writes (a discovery's run is one change, signalled when it
    // ends): what it shows is rebuilt only when the elements differ, so a stored attenuation
    // leaves the operator's selection and edits alone.
    void followDatabase();
    void show(ElementTree tree);

    ElementTreeView& m_view;
    OperatorDialogs& m_dialogs;
    ElementDatabase& m_database;
    std::vector<std::string> m_sections;
    std::vector<ElementNode> m_shown;
};

} // namespace varnetix
