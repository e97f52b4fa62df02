// frmPaging: the small modal window shown while a discovery waits for answers.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QTimer>

namespace varnetix {

class PagingWindow : public QDialog {
    Q_OBJECT
public:
    explicit PagingWindow(QWidget* parent = nullptr);
    QLabel* Label1;
    QTimer* Timer1;
};

} // namespace varnetix
