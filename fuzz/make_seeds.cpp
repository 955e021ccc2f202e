// bundle_fuzz_seeds DIR: writes bundles of a few shapes into DIR as the bundle
// fuzzer's first inputs: an empty file, short and long ones, nested folders,
// frames with a checksum and without a content size.
#include <zstd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crc32c/crc32c.hpp"
#include "bundle/manifest_writer.hpp"
#include "fuzz_input.hpp"

namespace {

using namespace aerolith;

struct File {
  std::wstring directory;
  std::wstring name;
  std::string content;
  bool checksumNoSize = false;
};

std::vector<std::uint8_t> frameOf(const File& file) {
  ZSTD_CCtx* context = ZSTD_createCCtx();
  ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, 3);
  ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, file.checksumNoSize ? 1 : 0);
  ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, file.checksumNoSize ? 0 : 1);
  std::vector<std::uint8_t> frame(ZSTD_compressBound(file.content.size()));
  frame.resize(ZSTD_compress2(context, frame.data(), frame.size(), file.content.data(),
                              file.content.size()));
  ZSTD_freeCCtx(context);
  return frame;
}

std::vector<std::uint8_t> seedOf(const std::vector<File>& files, std::uint8_t flags) {
  bundle::ManifestWriter writer;
  fuzz::BundleInput input;
  input.flags = flags;
  input.payload.resize(4);
  for (const File& file : files) {
    const auto frame = frameOf(file);
    const auto* content = reinterpret_cast<const std::uint8_t*>(file.content.data());
    writer.add({file.directory, file.name, static_cast<std::uint32_t>(file.content.size()),
                crc32c::extend(0, content, file.content.size()),
                static_cast<std::uint32_t>(frame.size()), crc32c::value(frame),
                static_cast<std::uint32_t>(input.payload.size() - 4), 0x01DB5309A3E23267});
    input.payload.insert(input.payload.end(), frame.begin(), frame.end());
  }
  input.manifest = std::move(writer).finish();
  base::storeLe32(input.payload.data(), crc32c::value(std::span(input.payload).subspan(4)));
  return fuzz::joinInput(input);
}

std::string pattern(std::size_t size) {
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i) text[i] = "Aerolith Vantor "[(i * i) % 16];
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bundle_fuzz_seeds DIR\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const std::vector<std::vector<File>> bundles = {
      {{L"", L"Aerolith.exe", "MZ main program"}},
      {{L"", L"empty.txt", ""}, {L"plugins", L"hidapi.dll", pattern(300)}},
      {{L"a\\b", L"c.dll", pattern(70000)}, {L"a", L"d.ini", "[x]\r\ny=1\r\n", true}},
      {{L"J\u00e9r\u00f4me", L"\U0001F600.txt", "smile"}, {L"J\u00e9r\u00f4me\\", L"z", "z"}},
  };
  constexpr std::uint8_t kAllFlags =
      fuzz::kResealManifest | fuzz::kResealPayload | fuzz::kResealFrames;
  int number = 0;
  for (const auto& files : bundles) {
    for (const std::uint8_t flags : {std::uint8_t{0}, kAllFlags}) {
      const auto seed = seedOf(files, flags);
      std::ofstream out(folder / ("seed-" + std::to_string(number++)), std::ios::binary);
      out.write(reinterpret_cast<const char*>(seed.data()),
                static_cast<std::streamsize>(seed.size()));
    }
  }
  return 0;
}
