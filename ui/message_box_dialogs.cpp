#include "ui/message_box_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace varnetix {

namespace {

// Carriage returns separate the lines of a message as data; a box shows them as line breaks.
QString displayed(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

void MessageBoxDialogs::information(const QString& title, const QString& text) {
    QMessageBox::information(m_parent, title, displayed(text), QMessageBox::Ok);
}

void MessageBoxDialogs::critical(const QString& title, const QString& text) {
    QMessageBox::critical(m_parent, title, displayed(text), QMessageBox::Ok);
}

bool MessageBoxDialogs::question(const QString& title, const QString& text) {
    return QMessageBox::question(m_parent, title, displayed(text),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool MessageBoxDialogs::questionWithDetails(const QString& title, const QString& text,
                                            const QString& details) {
    QMessageBox box(QMessageBox::Question, title, displayed(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::No);
    box.setDetailedText(displayed(details));
    return box.exec() == QMessageBox::Yes;
}

QString MessageBoxDialogs::saveFileName(const QString& title, const QString& suggested,
                                        const QString& filter) {
    return QFileDialog::getSaveFileName(m_parent, title, suggested, filter);
}

} // namespace varnetix
