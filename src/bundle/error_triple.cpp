#include "bundle/error_triple.hpp"

#include <fmt/xchar.h>

#include "launcher/fatal_dialog.hpp"
#include "launcher/messages.hpp"

namespace aerolith::bundle {

// Both print the stage signed, then the details as unsigned CRC values or as
// signed numbers: the argument types the dialog's message is made for.

std::wstring ErrorTriple::text() const {
  const auto stageNumber = static_cast<std::int32_t>(stage);
  if (carriesCrcs()) {
    return fmt::format(L"{}.{}.{}", stageNumber, static_cast<std::uint32_t>(first),
                       static_cast<std::uint32_t>(second));
  }
  return fmt::format(L"{}.{}.{}", stageNumber, static_cast<std::int32_t>(first),
                     static_cast<std::int32_t>(second));
}

void fatalCorrupt(const ErrorTriple& error) {
  using launcher::fatalDialog;
  using launcher::messages::kEmbeddedResourcesCorrupt;
  const auto stage = static_cast<std::int32_t>(error.stage);
  if (error.carriesCrcs()) {
    fatalDialog(kEmbeddedResourcesCorrupt, stage, static_cast<std::uint32_t>(error.first),
                static_cast<std::uint32_t>(error.second));
  }
  fatalDialog(kEmbeddedResourcesCorrupt, stage, static_cast<std::int32_t>(error.first),
              static_cast<std::int32_t>(error.second));
}

}  // namespace aerolith::bundle
