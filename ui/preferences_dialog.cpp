#include "ui/preferences_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

namespace varnetix {

namespace {

// The boxes take any number a person may type, so that one out of range gets its message
// instead of being silently clamped.
QSpinBox* numberBox(const char* name, const char* accessible, int value, const char* suffix) {
    auto* box = new QSpinBox;
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(QLatin1String(accessible));
    box->setRange(-999999, 999999);
    box->setValue(value);
    box->setSuffix(QLatin1String(suffix));
    return box;
}

} // namespace

PreferencesDialog::PreferencesDialog(const StationPreferences& current, OperatorDialogs& dialogs,
                                     QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs),
      m_interval(
          numberBox("spnWatchInterval", "Watch interval", current.watchIntervalSeconds, " s")),
      m_misses(numberBox("spnMissesUntilOffline", "Missed echoes until offline",
                         current.missesUntilOffline, "")),
      m_logSize(numberBox("spnLogFileSize", "Event log file size", current.logFileKiB, " KiB")),
      m_logFiles(numberBox("spnLogFiles", "Event log files", current.logFileCount, "")),
      m_audioInterval(numberBox("spnAudioInterval", "Audio level interval",
                                current.audioIntervalSeconds, " s")),
      m_silenceLevel(
          numberBox("spnSilenceLevel", "Silence level", current.silenceLevelDbfs, " dBFS")),
      m_silenceTime(numberBox("spnSilenceTime", "Silence time", current.silenceSeconds, " s")),
      m_restoreTime(numberBox("spnRestoreTime", "Restore time", current.restoreSeconds, " s")),
      m_metrics(new QLineEdit(QString::fromStdString(current.metricsEndpoint))) {
    setObjectName(QStringLiteral("dlgPreferences"));
    setWindowTitle(QStringLiteral("Preferences"));
    m_interval->setSpecialValueText(QStringLiteral("Off"));
    m_interval->setMinimum(0);
    m_audioInterval->setSpecialValueText(QStringLiteral("Off"));
    m_audioInterval->setMinimum(0);
    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Watch every element every:"), m_interval);
    form->addRow(QStringLiteral("&Offline after missed echoes:"), m_misses);
    form->addRow(QStringLiteral("Event log file &size:"), m_logSize);
    form->addRow(QStringLiteral("Event log &files kept:"), m_logFiles);
    form->addRow(QStringLiteral("&Audio level of every encoder every:"), m_audioInterval);
    form->addRow(QStringLiteral("Silence &below:"), m_silenceLevel);
    form->addRow(QStringLiteral("Silen&t after:"), m_silenceTime);
    form->addRow(QStringLiteral("Audio &restored after:"), m_restoreTime);
    m_metrics->setObjectName(QStringLiteral("txtMetricsEndpoint"));
    m_metrics->setAccessibleName(QStringLiteral("Prometheus metrics endpoint"));
    m_metrics->setPlaceholderText(QStringLiteral("Off (e.g. 9464 or 0.0.0.0:9464)"));
    form->addRow(QStringLiteral("Prometheus &metrics at:"), m_metrics);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

StationPreferences PreferencesDialog::preferences() const {
    StationPreferences p;
    p.watchIntervalSeconds = m_interval->value();
    p.missesUntilOffline = m_misses->value();
    p.logFileKiB = m_logSize->value();
    p.logFileCount = m_logFiles->value();
    p.audioIntervalSeconds = m_audioInterval->value();
    p.silenceLevelDbfs = m_silenceLevel->value();
    p.silenceSeconds = m_silenceTime->value();
    p.restoreSeconds = m_restoreTime->value();
    p.metricsEndpoint = m_metrics->text().trimmed().toStdString();
    return p;
}

void PreferencesDialog::accept() {
    if (const auto problem = PreferencesProblem(preferences())) {
        m_dialogs.critical(QStringLiteral("Preferences"),
                           joinLines({QString::fromStdString(*problem),
                                      QStringLiteral("The preferences were not saved.")}));
        return;
    }
    QDialog::accept();
}

} // namespace varnetix
