#include "ui/paging_window.h"

#include <QVBoxLayout>

namespace varnetix {

PagingWindow::PagingWindow(QWidget* parent)
    : QDialog(parent), Label1(new QLabel(this)), Timer1(new QTimer(this)) {
    setObjectName(QStringLiteral("frmPaging"));
    setWindowTitle(QStringLiteral("Paging network..."));
    setModal(true);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setText(QStringLiteral("Please wait a few seconds while paging the network..."));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(Label1);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    // A coarse timer may end the wait up to 5% early, and answers of the last 150 ms would then
    // be taken for configuration answers.
    Timer1->setTimerType(Qt::PreciseTimer);
}

} // namespace varnetix
