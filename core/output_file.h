// A file written for the user, such as an inventory: wherever the path leads, the content gets
// there whole or the system's reason says why not.
#pragma once

#include "core/store_result.h"

#include <string>
#include <string_view>

namespace varnetix {

// A regular file (or a new one) is replaced atomically as the database is, and an existing
// read-only one is refused (WriteFileAtomically). A device, a FIFO, a socket or a terminal is
// written in place; the path of this process's standard output or error (/dev/stdout, a
// socket or pipe included) is written through that descriptor. A reader that goes away is a
// failure (EPIPE), never a signal that ends the process.
StoreResult WriteOutputFile(const std::string& path, std::string_view content);

} // namespace varnetix
