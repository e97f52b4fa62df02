#include "core/paging_request.h"

namespace varnetix {

std::string PagingRequest() {
    return "IPMPXSTL HALVOREN PAGING REQUEST";
}

} // namespace varnetix
