#include "ui/findings_dock.h"

#include <QHeaderView>
#include <QTreeWidget>

#include "core/inventory_csv.h"
#include "core/text_procedures.h"

namespace varnetix {

namespace {

constexpr int kSectionRole = Qt::UserRole;

} // namespace

FindingsDock::FindingsDock(QWidget* parent)
    : QDockWidget(QStringLiteral("Network check"), parent), m_list(new QTreeWidget) {
    setObjectName(QStringLiteral("dockFindings"));
    m_list->setObjectName(QStringLiteral("lstFindings"));
    m_list->setAccessibleName(QStringLiteral("Findings"));
    m_list->setRootIsDecorated(false);
    m_list->setWordWrap(true);
    m_list->setHeaderLabels(
        {QStringLiteral("Severity"), QStringLiteral("Elements"), QStringLiteral("Finding")});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(true);
    setWidget(m_list);
    connect(m_list, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        const QString section = item->data(0, kSectionRole).toString();
        if (!section.isEmpty())
            emit elementChosen(section.toStdString());
    });
}

void FindingsDock::showFindings(const std::vector<Finding>& findings) {
    m_list->clear();
    for (const Finding& finding : findings) {
        QStringList elements;
        for (const std::string& section : finding.sections)
            elements << QString::fromStdString(MacWithColons(section));
        auto* item = new QTreeWidgetItem(
            QStringList{QString::fromLatin1(severityName(findingSeverity(finding.kind))),
                        elements.join(QStringLiteral(", ")),
                        QString::fromStdString(latin1ToUtf8(finding.sentence))});
        if (!finding.sections.empty())
            item->setData(0, kSectionRole, QString::fromStdString(finding.sections.front()));
        m_list->addTopLevelItem(item);
    }
    if (findings.empty())
        setWindowTitle(QStringLiteral("Network check: no findings"));
    else if (findings.size() == 1)
        setWindowTitle(QStringLiteral("Network check: 1 finding"));
    else
        setWindowTitle(QStringLiteral("Network check: %1 findings").arg(findings.size()));
}

} // namespace varnetix
