#include "station/operator_dialogs.h"

namespace varnetix {

QString joinLines(std::initializer_list<QString> lines) {
    QString joined;
    for (const QString& line : lines) {
        if (!joined.isEmpty())
            joined += QLatin1Char('\r');
        joined += line;
    }
    return joined;
}

} // namespace varnetix
