// Entry extraction (frame CRC, decompression into the content buffer, content
// CRC) against a bare ZSTD_decompress loop over the same frames, in MB/s of
// content. bench/compare-extraction prints the ratio of the two.
#include <benchmark/benchmark.h>
#include <zstd.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/byte_order.hpp"
#include "bundle/bundle_view.hpp"
#include "bundle/file_entry.hpp"
#include "bundle/format.hpp"
#include "bundle/manifest_writer.hpp"
#include "crc32c/crc32c.hpp"

namespace {

using namespace aerolith;

// Program-like content: runs of instructions and tables that repeat with
// variations, strings, and stretches of packed data that hardly compress.
std::vector<std::uint8_t> programLike(std::size_t size, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(size);
  const std::string words = "GetProcAddress LoadLibraryW Aerolith Vantor relay module sim ";
  while (bytes.size() < size) {
    const std::size_t run = 64 + random() % 2048;
    switch (random() % 4) {
      case 0:  // packed data
        for (std::size_t i = 0; i < run; ++i) bytes.push_back(static_cast<std::uint8_t>(random()));
        break;
      case 1:  // text
        for (std::size_t i = 0; i < run; ++i) bytes.push_back(words[(i + seed) % words.size()]);
        break;
      default: {  // code: a small vocabulary of opcodes with varying operands
        for (std::size_t i = 0; i < run; i += 4) {
          bytes.push_back(static_cast<std::uint8_t>(0x48 + random() % 4));
          bytes.push_back(static_cast<std::uint8_t>(0x89 + random() % 3));
          bytes.push_back(static_cast<std::uint8_t>(random() % 16));
          bytes.push_back(0);
        }
      }
    }
  }
  bytes.resize(size);
  return bytes;
}

struct Bundle {
  std::vector<std::uint8_t> manifest;
  std::vector<std::uint8_t> payload;
  std::vector<std::shared_ptr<bundle::FileEntry>> entries;
  std::size_t contentBytes = 0;
  std::size_t largest = 0;
};

// About 12 MB of content in files from 4 KB to 4 MB, compressed as the
// producer does by default (level 19).
const Bundle& testBundle() {
  static const Bundle bundle = [] {
    Bundle made;
    bundle::ManifestWriter writer;
    made.payload.resize(bundle::format::kFramesOffset);
    const std::size_t sizes[] = {4096,   16384,  60000,   159648,  250000,  500000,
                                 750000, 900000, 1200000, 1600000, 2500000, 4000000};
    std::uint32_t seed = 1;
    for (const std::size_t size : sizes) {
      const auto content = programLike(size, seed++);
      std::vector<std::uint8_t> frame(ZSTD_compressBound(size));
      frame.resize(ZSTD_compress(frame.data(), frame.size(), content.data(), size, 19));
      writer.add(
          {L"bin", L"file" + std::to_wstring(seed) + L".dll", static_cast<std::uint32_t>(size),
           crc32c::value(content), static_cast<std::uint32_t>(frame.size()), crc32c::value(frame),
           static_cast<std::uint32_t>(made.payload.size() - bundle::format::kFramesOffset), 0});
      made.payload.insert(made.payload.end(), frame.begin(), frame.end());
      made.contentBytes += size;
      made.largest = std::max(made.largest, size);
    }
    made.manifest = std::move(writer).finish();
    const bundle::BundleView view{
        made.manifest.data(), static_cast<std::int32_t>(made.manifest.size()), made.payload.data(),
        static_cast<std::int32_t>(made.payload.size())};
    std::int32_t cursor = bundle::format::kEntriesOffset;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(std::size(sizes)); ++i) {
      auto entry = std::make_shared<bundle::FileEntry>();
      if (!entry->parse(view, cursor, i)) std::abort();
      made.entries.push_back(std::move(entry));
    }
    return made;
  }();
  return bundle;
}

// Each frame into a buffer of its own, as the launcher keeps each content.
void BareDecompress(benchmark::State& state) {
  const Bundle& bundle = testBundle();
  std::vector<std::vector<std::uint8_t>> destinations;
  for (const auto& entry : bundle.entries) destinations.emplace_back(entry->size);
  for (auto _ : state) {
    for (std::size_t i = 0; i < bundle.entries.size(); ++i) {
      const bundle::FileEntry& entry = *bundle.entries[i];
      const std::size_t produced =
          ZSTD_decompress(destinations[i].data(), destinations[i].size(), entry.compressedData,
                          static_cast<std::size_t>(entry.compressedSize));
      if (produced != destinations[i].size()) state.SkipWithError("bad frame");
      benchmark::DoNotOptimize(destinations[i].data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bundle.contentBytes));
}

// Every frame into one reused buffer: the least memory traffic there can be.
void BareDecompressOneBuffer(benchmark::State& state) {
  const Bundle& bundle = testBundle();
  std::vector<std::uint8_t> destination(bundle.largest);
  for (auto _ : state) {
    for (const auto& entry : bundle.entries) {
      const std::size_t produced =
          ZSTD_decompress(destination.data(), static_cast<std::size_t>(entry->size),
                          entry->compressedData, static_cast<std::size_t>(entry->compressedSize));
      if (produced != static_cast<std::size_t>(entry->size)) state.SkipWithError("bad frame");
      benchmark::DoNotOptimize(destination.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bundle.contentBytes));
}

// Each entry gets a fresh content buffer, as in a run of the launcher.
void ExtractEntries(benchmark::State& state) {
  const Bundle& bundle = testBundle();
  diag::Progress unwatched;
  for (auto _ : state) {
    for (const auto& entry : bundle.entries) {
      std::vector<std::uint8_t>().swap(entry->content);
      if (!entry->decompress(unwatched)) state.SkipWithError("bad entry");
      benchmark::DoNotOptimize(entry->content.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bundle.contentBytes));
}

BENCHMARK(BareDecompress)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BareDecompressOneBuffer)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(ExtractEntries)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace

BENCHMARK_MAIN();
