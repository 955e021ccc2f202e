#include "sys/process/library_search.hpp"

namespace aerolith::sys {

void restrictLibrarySearch() {}

}  // namespace aerolith::sys
