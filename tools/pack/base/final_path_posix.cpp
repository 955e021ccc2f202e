#include "pack/base/final_path.hpp"

namespace aerolith::pack {

std::filesystem::path finalPath(const std::filesystem::path& path, std::error_code& error) {
  return std::filesystem::canonical(path, error);
}

}  // namespace aerolith::pack
