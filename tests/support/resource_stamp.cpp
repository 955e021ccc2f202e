// resource_stamp IMAGE OUT [--manifest FILE] [--payload FILE]: writes to OUT a
// copy of the launcher image IMAGE (which carries no bundle) with FILE as its
// manifest or payload resource, byte for byte and unchecked, for the bundles
// that aerolith-pack refuses to embed. A resource not given stays absent. An
// empty FILE makes an empty resource on POSIX; the Windows resource functions
// cannot write one (the scenarios patch a one-byte resource's size instead).
// Kept apart from the producer on purpose: it trusts nothing the producer does.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include "sys/image/appended_resources.hpp"
#endif

#include "bundle/format.hpp"

namespace {

namespace format = aerolith::bundle::format;

struct Resource {
  std::uint32_t id = 0;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> readBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#ifdef _WIN32

void stamp(const std::filesystem::path& out, const std::vector<Resource>& resources) {
  const HANDLE update = ::BeginUpdateResourceW(out.c_str(), FALSE);
  if (update == nullptr) throw std::runtime_error("BeginUpdateResourceW failed");
  for (const Resource& resource : resources) {
    // No bytes at all would remove the resource instead.
    if (resource.bytes.empty()) throw std::runtime_error("an empty resource cannot be written");
    if (!::UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(resource.id),
                           static_cast<WORD>(format::kResourceLanguage),
                           const_cast<std::uint8_t*>(resource.bytes.data()),
                           static_cast<DWORD>(resource.bytes.size()))) {
      throw std::runtime_error("UpdateResourceW failed");
    }
  }
  if (!::EndUpdateResourceW(update, FALSE)) throw std::runtime_error("EndUpdateResourceW failed");
}

#else

void stamp(const std::filesystem::path& out, const std::vector<Resource>& resources) {
  std::vector<aerolith::sys::ResourceBlock> blocks;
  for (const Resource& resource : resources) {
    blocks.push_back(
        {format::kResourceType, resource.id, format::kResourceLanguage, resource.bytes});
  }
  const auto table =
      aerolith::sys::encodeAppendedResources(std::filesystem::file_size(out), blocks);
  std::ofstream image(out, std::ios::binary | std::ios::app);
  image.write(reinterpret_cast<const char*>(table.data()),
              static_cast<std::streamsize>(table.size()));
  if (!image.flush()) throw std::runtime_error("cannot write " + out.string());
}

#endif

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2 || args.size() % 2 != 0) {
    std::fprintf(stderr, "usage: resource_stamp IMAGE OUT [--manifest FILE] [--payload FILE]\n");
    return 2;
  }
  try {
    std::vector<Resource> resources;
    for (std::size_t i = 2; i < args.size(); i += 2) {
      if (args[i] != "--manifest" && args[i] != "--payload") return 2;
      resources.push_back(
          {args[i] == "--manifest" ? format::kManifestResourceId : format::kPayloadResourceId,
           readBytes(args[i + 1])});
    }
    // Removed first: mingw's copy_file takes any two files of one drive for the
    // same file (Windows reports no inode numbers) and refuses to overwrite.
    std::filesystem::remove(args[1]);
    std::filesystem::copy_file(args[0], args[1]);
    stamp(args[1], resources);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "resource_stamp: %s\n", error.what());
    return 1;
  }
  return 0;
}
