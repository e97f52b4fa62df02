#include "core/store_result.h"

#include <cstring>
#include <utility>

namespace varnetix {

StoreResult StoreResult::failure(int error, std::string path, std::string reason) {
    StoreResult result;
    result.error = error;
    result.path = std::move(path);
    result.reason = reason.empty() ? std::string(std::strerror(error)) : std::move(reason);
    return result;
}

} // namespace varnetix
