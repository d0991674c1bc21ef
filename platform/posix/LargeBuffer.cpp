// Buffer hints with madvise: transparent huge pages, and prefaulting in one
// call rather than one fault per page.
#include "platform/LargeBuffer.h"

#include <sys/mman.h>

#include <cstdint>

namespace platform {
namespace {

constexpr std::uintptr_t kPage = 4096;
constexpr std::uintptr_t kLargePage = 2u << 20;
constexpr std::size_t kWorthIt = 256 * 1024;

// Refusals (an older kernel, no huge pages) only mean the slower path, so
// results are of no interest.
void Advise(std::uintptr_t start, std::uintptr_t end, std::uintptr_t unit, int advice) {
  start = (start + unit - 1) & ~(unit - 1);
  end &= ~(unit - 1);
  if (end > start) (void)madvise(reinterpret_cast<void*>(start), end - start, advice);
}

}  // namespace

void PrepareLargeBuffer(std::string& buffer) {
  if (buffer.capacity() < kWorthIt) return;
  auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
  std::uintptr_t end = start + buffer.capacity();
#ifdef MADV_HUGEPAGE
  Advise(start, end, kLargePage, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
  Advise(start, end, kPage, MADV_POPULATE_WRITE);
#endif
}

}  // namespace platform
