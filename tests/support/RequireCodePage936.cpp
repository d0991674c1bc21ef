// Linked into the Windows test programs whose double-byte cases assume the GBK code page 936: such
// a program stops before its first test, naming what is missing, when the code page is another.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

const bool kCodePage936 = [] {
  const UINT codePage = ::GetACP();
  if (codePage == 936) return true;
  // Wine takes the ANSI code page from the locale of the process (scripts/wine-run sets it).
  std::fprintf(
      stderr,
      "This suite needs the ANSI code page 936 (GBK), which Wine takes from the locale "
      "zh_CN.UTF-8; that locale is missing (code page here: %u). scripts/setup makes it.\n",
      codePage);
  std::fflush(stderr);
  std::_Exit(2);
}();

}  // namespace
