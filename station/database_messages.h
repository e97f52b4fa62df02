// What the operator is told when the database cannot be read or written: the file and the
// system's reason, and what it means for the operation at hand.
#pragma once

#include "core/store_result.h"
#include "station/operator_dialogs.h"

namespace varnetix {

// "The local database '<path>' cannot be read: <reason>." CR consequence.
QString unreadableDatabaseMessage(const StoreResult& failure, const QString& consequence);
// "Unable to save to the local database '<path>': <reason>." CR consequence.
QString storeFailureMessage(const StoreResult& failure, const QString& consequence);

} // namespace varnetix
