#include "platform/preferences_file.h"

#include <QSettings>
#include <memory>

#include "core/metrics_endpoint.h"

namespace varnetix {

namespace {

std::unique_ptr<QSettings> open(const QString& path) {
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

// Every preference with its key in the file.
const struct {
    const char* key;
    int StationPreferences::*member;
} kKeys[] = {
    {"watch/intervalSeconds", &StationPreferences::watchIntervalSeconds},
    {"watch/missesUntilOffline", &StationPreferences::missesUntilOffline},
    {"log/fileKiB", &StationPreferences::logFileKiB},
    {"log/fileCount", &StationPreferences::logFileCount},
    {"audio/intervalSeconds", &StationPreferences::audioIntervalSeconds},
    {"audio/silenceLevelDbfs", &StationPreferences::silenceLevelDbfs},
    {"audio/silenceSeconds", &StationPreferences::silenceSeconds},
    {"audio/restoreSeconds", &StationPreferences::restoreSeconds},
};

const QLatin1String kMetricsKey("metrics/endpoint");

} // namespace

QString PreferencesFile::userPath() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Halvoren"),
                     QStringLiteral("varnetix-nms"))
        .fileName();
}

PreferencesFile::PreferencesFile(QString path) : m_path(std::move(path)) {}

StationPreferences PreferencesFile::load(QStringList* invalidKeys) const {
    const auto settings = open(m_path);
    StationPreferences stored;
    // A value edited by hand into nonsense gives its default, not a broken watch; the others
    // are kept.
    for (const auto& [key, member] : kKeys) {
        const QVariant value = settings->value(QLatin1String(key));
        if (!value.isValid())
            continue;
        bool ok = false;
        const int number = value.toInt(&ok);
        if (ok && PreferenceValid(member, number))
            stored.*member = number;
        else if (invalidKeys)
            *invalidKeys << QLatin1String(key);
    }
    const std::string endpoint = settings->value(kMetricsKey).toString().toStdString();
    if (!endpoint.empty() && ParseMetricsEndpoint(endpoint))
        stored.metricsEndpoint = endpoint;
    else if (!endpoint.empty() && invalidKeys)
        *invalidKeys << kMetricsKey;
    return stored;
}

bool PreferencesFile::save(const StationPreferences& p) const {
    if (PreferencesProblem(p))
        return false;
    const auto settings = open(m_path);
    for (const auto& [key, member] : kKeys)
        settings->setValue(QLatin1String(key), p.*member);
    settings->setValue(kMetricsKey, QString::fromStdString(p.metricsEndpoint));
    settings->sync();
    return settings->status() == QSettings::NoError;
}

} // namespace varnetix
