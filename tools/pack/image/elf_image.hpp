// A Linux launcher image: an ELF executable followed by the resource table of
// sys/image/appended_resources.hpp, which the ELF loader ignores.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace aerolith::pack {
class OutputFile;
}

namespace aerolith::pack::elf {

// True when the file starts with the ELF magic.
bool looksLikeElf(std::span<const std::uint8_t> file);

// A resource of the appended table by type and id, whatever its language;
// nullopt if the image has none. Throws Failure when the table is damaged.
std::optional<std::span<const std::uint8_t>> resource(std::span<const std::uint8_t> image,
                                                      std::uint32_t type, std::uint32_t id);

// Writes the executable to `out` with a table that holds the bundle's two
// resources alone, in place of any table it ended in. Throws Failure when the
// table is damaged.
void writeBundle(std::span<const std::uint8_t> image, std::span<const std::uint8_t> manifest,
                 std::span<const std::uint8_t> payload, OutputFile& out);

}  // namespace aerolith::pack::elf
