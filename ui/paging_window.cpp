#include "ui/paging_window.h"

#include <QLabel>
#include <QVBoxLayout>

namespace varnetix {

PagingWindow::PagingWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPaging"));
    setWindowTitle(QStringLiteral("Paging network..."));
    setModal(true);
    auto* label =
        new QLabel(QStringLiteral("Please wait a few seconds while paging the network..."));
    label->setObjectName(QStringLiteral("Label1"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(label);
}

void PagingWindow::runModal() {
    exec();
}

void PagingWindow::closeWindow() {
    accept();
}

} // namespace varnetix
