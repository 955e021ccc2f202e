// CRC-32C throughput next to a memcpy of the same buffer, on 64 KiB blocks and
// on a buffer the size of a release's payload: the dispatched CRC (accelerated
// where the processor allows), the portable path, and memcpy.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "crc32c/crc32c.hpp"
#include "crc32c/internal.hpp"

namespace {

using namespace aerolith;

constexpr std::int64_t kBlock = 64 * 1024;
constexpr std::int64_t kPayload = 9'259'010;

std::vector<std::uint8_t> randomBuffer(std::size_t size) {
  std::mt19937_64 random(42);
  std::vector<std::uint8_t> buffer(size);
  for (auto& byte : buffer) byte = static_cast<std::uint8_t>(random());
  return buffer;
}

template <std::uint32_t (*Extend)(std::uint32_t, const std::uint8_t*, std::size_t)>
void crc(benchmark::State& state) {
  const auto buffer = randomBuffer(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Extend(0, buffer.data(), buffer.size()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void memcpyOf(benchmark::State& state) {
  const auto buffer = randomBuffer(static_cast<std::size_t>(state.range(0)));
  std::vector<std::uint8_t> copy(buffer.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), buffer.data(), buffer.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(crc<crc32c::extend>)->Name("crc32c")->Arg(kBlock)->Arg(kPayload);
BENCHMARK(crc<crc32c::internal::extendPortable>)
    ->Name("crc32c_portable")
    ->Arg(kBlock)
    ->Arg(kPayload);
BENCHMARK(memcpyOf)->Name("memcpy")->Arg(kBlock)->Arg(kPayload);

}  // namespace

BENCHMARK_MAIN();
