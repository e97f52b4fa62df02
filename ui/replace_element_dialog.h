// Element > Replace missing element...: the element the last discovery found missing, the spare
// of its role that takes its place, and what the spare will be sent and what not.
#pragma once

#include <QDialog>
#include <string>

#include "core/replacement_plan.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace varnetix {

class SpareReplacement;

class ReplaceElementDialog : public QDialog {
    Q_OBJECT
public:
    ReplaceElementDialog(SpareReplacement& replacement, ReplacementCandidates candidates,
                         QWidget* parent = nullptr);

    // The sections chosen.
    std::string missing() const;
    std::string spare() const;

private:
    void listSpares();
    void showPlan();

    SpareReplacement& m_replacement;
    ReplacementCandidates m_candidates;
    QComboBox* m_missing;
    QComboBox* m_spare;
    QPlainTextEdit* m_plan;
    QPushButton* m_replace;
};

} // namespace varnetix
