// Map cards (".cam") from arbitrary bytes: the reader must refuse or accept
// without reaching outside the bytes; an accepted card must write back and
// read again to the same card, average with itself and give statistic maps
// and comparison tests without faults. The same bytes also go through the
// reader of subject tables ("R") and the maps drawn from what it stored.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/study_state.h"
#include "eeg/maps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  {
    static velor::StudyState* s = new velor::StudyState;  // large buffers: one for the whole run
    s->channelCount = 1 + static_cast<int>(size % 64);
    s->bandCount = 1 + static_cast<int>(size % 5);
    s->viewMode = velor::ViewMode::Signals;
    for (int c = 0; c < s->channelCount; ++c) {
      s->channelPosX[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c * 37 % 250);
      s->channelPosY[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c * 11 % 64);
    }
    std::string problem;
    if (velor::readSubjectMaps(*s, bytes, problem)) {
      velor::MapSettings m;
      m.asymmetry = size % 2 == 0;
      for (int e = 0; e < s->epochCount; ++e) {
        velor::MapGrid grid;
        velor::interpolateMap(velor::mapElectrodes(*s, m, 0, 0, e), grid);
      }
    } else if (problem.empty()) {
      __builtin_trap();
    }
  }
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
