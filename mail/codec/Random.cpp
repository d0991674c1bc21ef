// The process-wide pseudo-random generator: a splitmix64 sequence whose
// counter advances atomically, so draws from several threads never collide
// or tear.
#include "mail/codec/Random.h"

#include <atomic>
#include <cstdio>

#include "platform/Clock.h"

namespace MailVrex {
namespace {

constexpr std::uint64_t kGamma = 0x9E3779B97F4A7C15ULL;

std::atomic<std::uint64_t>& GeneratorState() {
  static std::atomic<std::uint64_t> state{platform::MillisecondsSinceUtcMidnight()};
  return state;
}

// Seeds the generator while the library loads rather than at the first draw.
const bool kSeededAtLoad = (GeneratorState(), true);

}  // namespace

std::uint32_t NextRandom() {
  std::uint64_t z = GeneratorState().fetch_add(kGamma, std::memory_order_relaxed) + kGamma;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  return static_cast<std::uint32_t>(z >> 32);
}

std::string MakeBoundaryText() {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(NextRandom()));
  return std::string("boundary") + digits;
}

}  // namespace MailVrex
