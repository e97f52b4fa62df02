#include "platform/preferences_file.h"

#include <QSettings>
#include <memory>

namespace varnetix {

namespace {

std::unique_ptr<QSettings> open(const QString& path) {
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

int read(const QSettings& settings, const char* key, int fallback) {
    bool ok = false;
    const int value = settings.value(QLatin1String(key)).toInt(&ok);
    return ok ? value : fallback;
}

} // namespace

QString PreferencesFile::userPath() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Halvoren"),
                     QStringLiteral("varnetix-nms"))
        .fileName();
}

PreferencesFile::PreferencesFile(QString path) : m_path(std::move(path)) {}

StationPreferences PreferencesFile::load() const {
    const auto settings = open(m_path);
    StationPreferences defaults;
    StationPreferences stored;
    stored.watchIntervalSeconds =
        read(*settings, "watch/intervalSeconds", defaults.watchIntervalSeconds);
    stored.missesUntilOffline =
        read(*settings, "watch/missesUntilOffline", defaults.missesUntilOffline);
    stored.logFileKiB = read(*settings, "log/fileKiB", defaults.logFileKiB);
    stored.logFileCount = read(*settings, "log/fileCount", defaults.logFileCount);
    // A file edited by hand into nonsense gives the defaults, not a broken watch.
    return PreferencesProblem(stored) ? defaults : stored;
}

bool PreferencesFile::save(const StationPreferences& p) const {
    if (PreferencesProblem(p))
        return false;
    const auto settings = open(m_path);
    settings->setValue(QStringLiteral("watch/intervalSeconds"), p.watchIntervalSeconds);
    settings->setValue(QStringLiteral("watch/missesUntilOffline"), p.missesUntilOffline);
    settings->setValue(QStringLiteral("log/fileKiB"), p.logFileKiB);
    settings->setValue(QStringLiteral("log/fileCount"), p.logFileCount);
    settings->sync();
    return settings->status() == QSettings::NoError;
}

} // namespace varnetix
