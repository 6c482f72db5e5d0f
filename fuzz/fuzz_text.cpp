// Text that the result windows read from files or from the person: numbers
// in any spelling, journals of any shape for the table conversion, text files
// for the text window, and "qprs.ini". Nothing may read or write outside its
// buffers, and what formatNumber writes must parse back.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/interaction.h"
#include "core/numtext.h"
#include "core/text.h"
#include "results/print_settings.h"
#include "results/text_results.h"

namespace {

std::string memFile(const std::uint8_t* data, std::size_t size) {
  static int fd = ::memfd_create("fuzz_text", 0);
  if (fd < 0) __builtin_trap();
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) __builtin_trap();
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // numbers: whatever parses formats, and what is formatted parses back close
  if (const auto v = velor::parseNumber(bytes)) {
    const std::string t = velor::formatNumber(*v);
    const auto back = velor::parseNumber(t);
    if (!back || std::fabs(*back - *v) > std::fabs(*v) * 1e-3 + 1e-300) __builtin_trap();
    (void)velor::parseInteger(bytes);
  }
  (void)velor::padLeft(bytes, static_cast<int>(size % 40));

  const std::string path = memFile(data, size);
  // the text window reading the bytes as a file, then converting them
  velor::ScriptedInteraction ui;
  velor::TextResults journal("/nonexistent/", 4096);
  journal.appendFile(path, ui);
  journal.toTable();
  (void)velor::journalToTable({std::string(bytes)});

  // "qprs.ini"
  velor::PrintForm f;
  velor::readPrintForm(path, f);
  if (const auto p = velor::acceptPrintForm(f, 1 + static_cast<int>(size % 2000), 1 + static_cast<int>(size % 1500))) {
    if (p->printLeftCm < 0 || p->printTopCm < 0 || p->printWidthCm <= 0 ||
        p->printLeftCm + p->printWidthCm > p->paperWidthCm + 1e-9 ||
        p->printTopCm + p->printHeightCm > p->pageHeightCm + 1e-9)
      __builtin_trap();
  }
  return 0;
}
