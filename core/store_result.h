// The outcome of an operation on the database's files: success, or the system's error number
// with the file it concerns and a reason an operator can read.
#pragma once

#include <string>

namespace varnetix {

struct StoreResult {
    int error = 0;      // errno of the failure; 0 for success
    std::string path;   // the file (or directory) the failure concerns
    std::string reason; // the system's text for the error, or the store's own words

    bool ok() const { return error == 0; }
    // Without a reason of its own, the failure carries the system's text for the error.
    static StoreResult failure(int error, std::string path, std::string reason = {});
};

} // namespace varnetix
