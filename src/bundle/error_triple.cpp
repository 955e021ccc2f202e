#include "bundle/error_triple.hpp"

#include <fmt/xchar.h>

namespace aerolith::bundle {

// The stage prints signed, then the details as unsigned CRC values or as signed
// numbers: the argument types the dialog's message is made for.
std::wstring ErrorTriple::text() const {
  const auto stageNumber = static_cast<std::int32_t>(stage);
  if (carriesCrcs()) {
    return fmt::format(L"{}.{}.{}", stageNumber, static_cast<std::uint32_t>(first),
                       static_cast<std::uint32_t>(second));
  }
  return fmt::format(L"{}.{}.{}", stageNumber, static_cast<std::int32_t>(first),
                     static_cast<std::int32_t>(second));
}

}  // namespace aerolith::bundle
