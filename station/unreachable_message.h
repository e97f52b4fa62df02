// The box text of a command that could not be sent to the selected element.
#pragma once

#include "station/operator_dialogs.h"

namespace varnetix {

// "Unable to reach the Network Element at '<address>'." CR consequence.
inline QString unreachableMessage(const QString& address, const QString& consequence) {
    return joinLines(
        {QStringLiteral("Unable to reach the Network Element at '%1'.").arg(address), consequence});
}

} // namespace varnetix
