#include "acquisition/amplifier_settings.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "acquisition/calibration.h"
#include "acquisition/device_registry.h"
#include "acquisition/device_texts.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"

namespace velor {

namespace {

std::vector<AmplifierOption> options(std::initializer_list<const char*> codes, std::initializer_list<const char*> texts) {
  std::vector<AmplifierOption> v;
  auto t = texts.begin();
  for (const char* c : codes) v.push_back({c, *t++});
  return v;
}

// The filter lists of the amplifiers: cut-offs in hundredths of a hertz.
std::vector<AmplifierOption> highPassHundredths() {
  return options({"5", "16", "50", "160", "530"}, {"0.05", "0.16", "0.5", "1.6", "5.3"});
}
std::vector<AmplifierOption> lowPassHundredths() {
  return options({"1500", "3500", "7000", "15000"}, {"15", "35", "70", "150"});
}

double numberOr(const std::string& text, double fallback) {
  const auto v = parseNumber(trimSpaces(text));
  return v ? *v : fallback;
}

int clampedItem(int item, int count) { return count <= 0 ? 0 : std::clamp(item, 0, count - 1); }

}  // namespace

std::string amplifierListFileName(int deviceKind) {
  if (deviceKind <= 0) return "ampl.ini";
  if (deviceKind >= 4) return "ampl4.ini";
  return "ampl" + std::to_string(deviceKind) + ".ini";
}

AmplifierLists defaultAmplifierLists(int deviceKind) {
  AmplifierLists l;
  if (deviceKind <= 0) {
    // Converter codes; the gain's display text is the gain factor (thousands).
    l.lists[0] = options({"0", "1", "2", "3", "4", "5", "6"}, {"1", "2", "5", "10", "20", "50", "100"});
    l.lists[1] = options({"0", "1", "2", "3"}, {"0.05", "0.5", "1.6", "5"});
    l.lists[2] = options({"0", "1", "2", "3"}, {"15", "35", "70", "150"});
  } else if (deviceKind == 1) {
    l.lists[0] = options({"1", "2", "4", "8", "16", "32", "64"}, {"1", "2", "4", "8", "16", "32", "64"});
    l.lists[1] = highPassHundredths();
    l.lists[2] = lowPassHundredths();
  } else if (deviceKind == 2) {
    l.lists[0] = options({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"},
                         {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"});
    l.lists[1] = highPassHundredths();
    l.lists[2] = lowPassHundredths();
  } else {
    // Gain steps, least gain first: 5 is the amplifier's own scale.
    l.lists[0] = options({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"},
                         {"1/16", "1/8", "1/4", "1/2", "1", "2", "4", "8", "16", "32", "64"});
    l.lists[1] = highPassHundredths();
    l.lists[2] = lowPassHundredths();
  }
  return l;
}

std::optional<std::string> readAmplifierLists(const std::string& path, AmplifierLists& out) {
  const std::string name = std::filesystem::path(path).filename().string();
  const auto lines = readTextLines(path);
  if (!lines) return "файл " + name + " не прочитан";
  if (lines->size() < 3) return "в файле " + name + " нет числа строк списков";
  std::array<int, 3> counts{};
  std::size_t need = 3;
  for (int j = 0; j < 3; ++j) {
    const auto v = parseNumber(trimSpaces((*lines)[static_cast<std::size_t>(j)]));
    if (!v || *v < 0 || *v > 1000 || *v != std::floor(*v))
      return "в файле " + name + " строка " + std::to_string(j + 1) + " не число строк списка";
    counts[static_cast<std::size_t>(j)] = static_cast<int>(*v);
    need += 2 * static_cast<std::size_t>(*v);
  }
  if (lines->size() < need) return "файл " + name + " короче, чем его списки";
  AmplifierLists l;
  std::size_t at = 3;
  for (int j = 0; j < 3; ++j) {
    const int n = counts[static_cast<std::size_t>(j)];
    auto& list = l.lists[static_cast<std::size_t>(j)];
    for (int i = 0; i < n; ++i) list.push_back({(*lines)[at + static_cast<std::size_t>(i)], ""});
    for (int i = 0; i < n; ++i) list[static_cast<std::size_t>(i)].text = (*lines)[at + static_cast<std::size_t>(n + i)];
    at += 2 * static_cast<std::size_t>(n);
  }
  out = std::move(l);
  return std::nullopt;
}

bool writeAmplifierLists(const std::string& path, const AmplifierLists& l) {
  std::vector<std::string> lines;
  for (const auto& list : l.lists) lines.push_back(std::to_string(list.size()));
  for (const auto& list : l.lists) {
    for (const auto& o : list) lines.push_back(o.code);
    for (const auto& o : list) lines.push_back(o.text);
  }
  return writeTextLines(path, lines);
}

std::optional<std::string> loadAmplifierLists(const std::string& programDir, int deviceKind, AmplifierLists& out) {
  const std::string path = programDir + amplifierListFileName(deviceKind);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    out = defaultAmplifierLists(deviceKind);
    writeAmplifierLists(path, out);
    return std::nullopt;
  }
  if (auto failure = readAmplifierLists(path, out)) {
    out = defaultAmplifierLists(deviceKind);
    return failure;
  }
  return std::nullopt;
}

int deviceCodeOf(const std::string& text) {
  const std::string head = trimSpaces(utf8Substr(text, 0, 10));
  if (head.empty()) return 0;
  const auto v = parseNumber(head);
  if (!v || !std::isfinite(*v) || std::abs(*v) > 2e9) return 0;
  return static_cast<int>(std::trunc(*v));
}

const AmplifierOption* chosenOption(const AmplifierLists& lists, const AmplifierTable& t, int row, AmplifierList l) {
  if (row < 0 || row >= kMaxChannels) return nullptr;
  const auto& list = lists[l];
  const int i = t.item(row, l);
  return i >= 0 && i < static_cast<int>(list.size()) ? &list[static_cast<std::size_t>(i)] : nullptr;
}

void chooseItem(AmplifierTable& t, AmplifierList l, int item, int row, bool allRows, int channelCount) {
  const auto set = [&](int r) {
    if (r >= 0 && r < kMaxChannels) t.items[static_cast<std::size_t>(r)][static_cast<std::size_t>(l)] = item;
  };
  if (allRows)
    for (int r = 0; r < std::min(channelCount, kMaxChannels); ++r) set(r);
  else
    set(row);
}

bool stepGain(AmplifierTable& t, const AmplifierLists& lists, int row, int direction) {
  if (row < 0 || row >= kMaxChannels || direction == 0) return false;
  const int old = t.item(row, AmplifierList::Gain);
  const int next = clampedItem(old + (direction > 0 ? 1 : -1), lists.count(AmplifierList::Gain));
  if (next == old) return false;
  t.items[static_cast<std::size_t>(row)][0] = next;
  return true;
}

std::optional<std::string> checkAmplifierChoices(int deviceKind, const AmplifierLists& lists, const AmplifierTable& t,
                                                 int channels) {
  for (int row = 0; row < std::min(channels, kMaxChannels); ++row) {
    const AmplifierOption* gain = chosenOption(lists, t, row, AmplifierList::Gain);
    const AmplifierOption* low = chosenOption(lists, t, row, AmplifierList::LowPass);
    if (deviceKind <= 0) {
      const double factor = gain ? numberOr(gain->text, 0) : 0;
      if (!(factor > 0) || !std::isfinite(factor))
        return std::string(device_texts::kBadGain) + (gain ? "\"" + gain->text + "\"" : "\"\"");
      if (low && !(numberOr(low->text, 0) > 0)) return std::string(device_texts::kBadLowPass) + "\"" + low->text + "\"";
    } else if (low && deviceCodeOf(low->code) <= 0) {
      return std::string(device_texts::kBadLowPass) + "\"" + low->text + "\"";
    }
  }
  return std::nullopt;
}

namespace {

int codeOf(const AmplifierLists& lists, const AmplifierTable& t, int row, AmplifierList l) {
  const AmplifierOption* o = chosenOption(lists, t, row, l);
  return o ? deviceCodeOf(o->code) : 0;
}

}  // namespace

AmplifierApplyResult applyAmplifier(StudyState& s, AcquisitionDevice& device, int deviceKind, const AmplifierLists& lists,
                                    AmplifierTable& t, int channels, bool keepCalibration) {
  AmplifierApplyResult out;
  channels = std::clamp(channels, 0, kMaxChannels);
  if (auto bad = checkAmplifierChoices(deviceKind, lists, t, channels)) {
    out.result = DeviceResult::failure(*bad);
    return out;
  }
  const DeviceDescription& d = device.describe();
  const int deviceChannels = deviceKind <= 0 ? channels : std::min(channels, d.deviceChannelCount);
  DeviceConfig c;
  c.mainsNotch = t.notchOn ? 1 : 0;
  for (int g = 0; g < deviceChannels; ++g) {
    c.gainCodes.push_back(codeOf(lists, t, g, AmplifierList::Gain));
    c.highPass.push_back(codeOf(lists, t, g, AmplifierList::HighPass));
    c.lowPass.push_back(codeOf(lists, t, g, AmplifierList::LowPass));
    c.channelOrder.push_back(s.channelOrder[g]);
  }
  if (deviceKind == 1) c.gainCodes.resize(std::min<std::size_t>(c.gainCodes.size(), 12));
  out.result = device.configure(c);
  if (!out.result) return out;

  const DeviceDescription& after = device.describe();
  for (int g = 0; g < channels; ++g) {
    const int gain = codeOf(lists, t, g, AmplifierList::Gain);
    if (deviceKind <= 0) {
      if (!keepCalibration) {
        s.calibValue[g] = static_cast<std::uint16_t>(*boardCalibValue(numberOr(chosenOption(lists, t, g, AmplifierList::Gain)->text, 0)));
        s.zeroLevel[g] = 2048;
        s.calibUnits[g] = 2047;
      }
    } else if (g < after.deviceChannelCount) {
      t.channelGainCode[static_cast<std::size_t>(g)] = static_cast<std::uint8_t>(gain);
      if (deviceKind >= 4) {
        // Software gain steps as the NVX amplifiers have them, on the device's scale.
        const int base = deviceCalibValue(deviceKind, after, g, s.calibUnits[g], 0, s.calibValue[g]);
        s.calibValue[g] = static_cast<std::uint16_t>(
            gain >= 1 && gain <= 4 ? clampCalibValue(static_cast<double>(base) * (1 << (5 - gain)))
            : gain >= 6 && gain <= 11 ? base >> (gain - 5) : base);
      } else {
        s.calibValue[g] = static_cast<std::uint16_t>(deviceCalibValue(deviceKind, after, g, s.calibUnits[g], gain, s.calibValue[g]));
      }
    }
  }
  if (deviceKind <= 0 && channels > 0 && s.sampleRate > 0) {
    const AmplifierOption* low = chosenOption(lists, t, channels - 1, AmplifierList::LowPass);
    const double f = std::min(numberOr(low ? low->text : "", 0), std::trunc(s.sampleRate / 2.0));
    out.lowPassHz = f;
    // A band edge exactly at half the rate has no design: kept just below it.
    const double edge = std::min(f / s.sampleRate, 0.4999);
    out.lowPassDesigned = designFilter(out.boardLowPass, 1, kButterworthBandStop, 0, edge, edge);
  }
  return out;
}

DeviceResult applyLeads(StudyState& s, AcquisitionDevice& device, const AmplifierLists& lists, AmplifierTable& t) {
  const DeviceDescription& d = device.describe();
  const int n = d.deviceChannelCount;
  const int records = std::min(nvxRecordChannels(n), kMaxChannels);
  if (auto bad = checkAmplifierChoices(3, lists, t, records)) return DeviceResult::failure(*bad);
  DeviceConfig c;
  for (int i = 0; i < n; ++i) {
    const int h = std::min(nvxFilterRow(i, n), kMaxChannels - 1);
    c.highPass.push_back(codeOf(lists, t, h, AmplifierList::HighPass));
    c.lowPass.push_back(codeOf(lists, t, h, AmplifierList::LowPass));
  }
  for (int ch = 0; ch < records; ++ch) c.gainCodes.push_back(codeOf(lists, t, ch, AmplifierList::Gain));
  if (const DeviceResult r = device.configure(c); !r) return r;
  const float scale = d.channels.empty() ? 0.0f : static_cast<float>(d.channels[0].calibrationScale);
  for (int ch = 0; ch < records; ++ch) {
    const int code = c.gainCodes[static_cast<std::size_t>(ch)];
    t.channelGainCode[static_cast<std::size_t>(ch)] = static_cast<std::uint8_t>(code);
    s.calibValue[ch] = static_cast<std::uint16_t>(nvxCalibValue(s.calibUnits[ch], scale, code));
  }
  return DeviceResult::success();
}

DeviceResult changeGain(StudyState& s, AcquisitionDevice& device, int deviceKind, const AmplifierLists& lists,
                        AmplifierTable& t, int row, int direction, bool* changed) {
  if (changed) *changed = false;
  AmplifierTable next = t;
  if (!stepGain(next, lists, row, direction)) return DeviceResult::success();
  const DeviceResult r = deviceKindFromSetting(deviceKind) == DeviceKind::Nvx
                             ? applyLeads(s, device, lists, next)
                             : applyAmplifier(s, device, deviceKind, lists, next, s.channelCount, false).result;
  if (!r) return r;
  t = next;
  if (changed) *changed = true;
  return r;
}

}  // namespace velor
