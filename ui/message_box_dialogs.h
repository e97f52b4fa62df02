// The operator's message boxes on the desktop: modal QMessageBoxes.
#pragma once

#include "station/operator_dialogs.h"

class QWidget;

namespace varnetix {

// Modal QMessageBox implementation.
class MessageBoxDialogs : public OperatorDialogs {
public:
    explicit MessageBoxDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }
    void information(const QString& title, const QString& text) override;
    void critical(const QString& title, const QString& text) override;
    bool question(const QString& title, const QString& text) override;
    bool questionWithDetails(const QString& title, const QString& text,
                             const QString& details) override;
    QString saveFileName(const QString& title, const QString& suggested,
                         const QString& filter) override;

private:
    QWidget* m_parent;
};

} // namespace varnetix
