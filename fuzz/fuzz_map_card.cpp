// Map cards (".cam") from arbitrary bytes: the reader must refuse or accept
// without reaching outside the bytes; an accepted card must write back and
// read again to the same card, average with itself and give statistic maps
// and comparison tests without faults.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "eeg/maps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  velor::MapCard card;
  std::string problem;
  if (!velor::decodeMapCard(bytes, card, problem)) {
    if (problem.empty()) __builtin_trap();
    return 0;
  }
  velor::MapCard again;
  if (!velor::decodeMapCard(velor::encodeMapCard(card), again, problem)) __builtin_trap();
  if (again.rows != card.rows || again.bands != card.bands || again.mean.size() != card.mean.size()) __builtin_trap();
  velor::MapCard sum = card;
  if (!velor::averageMapCards(sum, again)) __builtin_trap();
  const auto single = velor::cardStatisticValues(card, nullptr, static_cast<int>(size % 40) - 20);
  const auto compared = velor::cardStatisticValues(card, &again.mean, 0);
  for (int v : single)
    if (v < 0 || v > 255) __builtin_trap();
  for (int v : compared)
    if (v < 0 || v > 255) __builtin_trap();
  const auto tests = velor::compareCardValues(card.mean, again.meanSquare);
  (void)velor::probabilityText(tests.pw);
  return 0;
}
