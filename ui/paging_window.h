// frmPaging: the small modal window shown while a discovery waits for answers.
#pragma once

#include <QDialog>

#include "station/discovery.h"

namespace varnetix {

class PagingWindow : public QDialog, public PagingView {
    Q_OBJECT
public:
    explicit PagingWindow(QWidget* parent = nullptr);
    void runModal() override;
    void closeWindow() override;
};

} // namespace varnetix
