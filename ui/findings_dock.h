// The network check's findings in a dock: severity, the elements concerned and the sentence.
// A double-click (or Return) on a finding selects its first element in the tree.
#pragma once

#include <QDockWidget>
#include <string>

#include "station/network_check_controller.h"

class QTreeWidget;

namespace varnetix {

class FindingsDock : public QDockWidget, public FindingsView {
    Q_OBJECT
public:
    explicit FindingsDock(QWidget* parent = nullptr);
    void showFindings(const std::vector<Finding>& findings) override;

signals:
    void elementChosen(const std::string& section);

private:
    QTreeWidget* m_list;
};

} // namespace varnetix
