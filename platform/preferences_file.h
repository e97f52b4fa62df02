// The station's preferences in the desktop's usual per-user settings file
// (~/.config/Halvoren/varnetix-nms.ini), through QSettings.
#pragma once

#include <QString>
#include <QStringList>

#include "core/station_preferences.h"

namespace varnetix {

class PreferencesFile {
public:
    // The desktop's per-user settings file of the station.
    static QString userPath();

    explicit PreferencesFile(QString path);

    // What is stored; a value that is missing or invalid reads as its default, and the keys of
    // the invalid ones ("log/fileCount") are added to `invalidKeys`.
    StationPreferences load(QStringList* invalidKeys = nullptr) const;
    // False (nothing stored) when a value is invalid or the file cannot be written.
    bool save(const StationPreferences& preferences) const;

private:
    QString m_path;
};

} // namespace varnetix
