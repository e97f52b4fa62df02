// The station's preferences: the watch interval, the missed echoes until an element counts as
// offline, the event log's size, the silence watch's interval, level and times, and where the
// metrics are served. Invalid values are named in a box and not stored.
#pragma once

#include <QDialog>

#include "core/station_preferences.h"
#include "station/operator_dialogs.h"

class QLineEdit;
class QSpinBox;

namespace varnetix {

class PreferencesDialog : public QDialog {
    Q_OBJECT
public:
    PreferencesDialog(const StationPreferences& current, OperatorDialogs& dialogs,
                      QWidget* parent = nullptr);
    StationPreferences preferences() const;

    void accept() override;

private:
    OperatorDialogs& m_dialogs;
    QSpinBox* m_interval;
    QSpinBox* m_misses;
    QSpinBox* m_logSize;
    QSpinBox* m_logFiles;
    QSpinBox* m_audioInterval;
    QSpinBox* m_silenceLevel;
    QSpinBox* m_silenceTime;
    QSpinBox* m_restoreTime;
    QLineEdit* m_metrics;
};

} // namespace varnetix
