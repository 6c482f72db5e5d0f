#include "viewer/leads.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <type_traits>

#include "core/binio.h"
#include "core/electrode_sites.h"
#include "core/numtext.h"
#include "core/settings.h"
#include "core/text.h"
#include "viewer/leads_texts.h"

namespace velor {

namespace {

constexpr std::uint8_t kEcgPosition = 255;


int pairCountOf(const StudyState& s) { return std::clamp(s.leadPairCount, 0, kMaxLeadPairs); }

bool channelInRecord(const StudyState& s, int oneBased) { return oneBased >= 1 && oneBased <= s.channelCount; }

std::string unreadable(const std::string& path, const std::string& reason) {
  return "Файл " + baseName(path) + " не прочитан: " + reason + ".";
}

std::string unwritten(const std::string& path, const std::string& reason) {
  return "Файл " + baseName(path) + " не записан: " + reason + ".";
}

// A whole number on a line of a text file; nothing when the line is not one.
std::optional<int> lineNumber(const std::vector<std::string>& lines, std::size_t at) {
  if (at >= lines.size()) return std::nullopt;
  return parseInteger(trimSpaces(lines[at]));
}

// Moves per-channel attributes of channels 0..n−1 to the slots `to` names.
template <typename Get>
void permuteSlots(int n, const std::array<int, kMaxChannels>& to, Get&& slot) {
  using T = std::remove_reference_t<decltype(slot(0))>;
  std::array<T, kMaxChannels> moved{};
  for (int i = 0; i < n; ++i) moved[static_cast<std::size_t>(to[static_cast<std::size_t>(i)])] = slot(i);
  for (int i = 0; i < n; ++i) slot(i) = moved[static_cast<std::size_t>(i)];
}

// Pairs keep their places; an end that names a moved channel follows it.
void renumberPairs(StudyState& s, int n, const std::array<int, kMaxChannels>& to) {
  for (auto& pair : s.leadPairs)
    for (auto& end : pair)
      if (end >= 1 && end <= n) end = static_cast<std::uint8_t>(to[static_cast<std::size_t>(end - 1)] + 1);
}

bool isIdentity(const std::array<int, kMaxChannels>& to, int n) {
  for (int i = 0; i < n; ++i)
    if (to[static_cast<std::size_t>(i)] != i) return false;
  return true;
}

// The channel with this (trimmed) name, 1-based; 0 when there is none.
int channelNamed(const StudyState& s, const std::string& name) {
  if (name.empty()) return 0;
  for (int c = 1; c <= s.channelCount && c <= kMaxChannels; ++c)
    if (leadName(s, c) == name) return c;
  return 0;
}

}  // namespace

// --- names ------------------------------------------------------------------------

std::string fitLeadName(std::string_view typed) {
  std::string t(typed);
  // A line break or other control character would break the text files the
  // names go into.
  for (char& c : t)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return utf8Fit(t, kLeadNameChars);
}

std::string leadName(const StudyState& s, int oneBasedChannel) {
  if (!channelInRecord(s, oneBasedChannel) || oneBasedChannel > kMaxChannels) return {};
  return trimSpaces(s.channelNames[static_cast<std::size_t>(oneBasedChannel - 1)]);
}

bool acceptLeadNames(StudyState& s, const std::vector<std::string>& names, int referenceKind) {
  if (referenceKind < 0 || referenceKind > 6) return false;
  const int n = std::min({static_cast<int>(names.size()), s.channelCount, kMaxChannels});
  for (int i = 0; i < n; ++i) s.channelNames[static_cast<std::size_t>(i)] = fitLeadName(names[static_cast<std::size_t>(i)]);
  s.referenceKind = referenceKind;
  return true;
}

// --- kinds --------------------------------------------------------------------------

int kindChoiceOf(int posX) { return (posX >= 256 - (kKindChoiceCount - 1) && posX <= 255) ? 256 - posX : 0; }

bool setChannelKind(StudyState& s, int channel, int choice) {
  if (channel < 0 || channel >= kMaxChannels || choice < 0 || choice >= kKindChoiceCount) return false;
  const auto c = static_cast<std::size_t>(channel);
  if (choice > 0) {
    s.channelPosX[c] = static_cast<std::uint8_t>(256 - choice);
  } else if (s.channelPosX[c] > kPositionGridMax) {
    // A channel of another kind becomes an electrode at the edge of the grid.
    s.channelPosX[c] = 0;
    s.channelPosY[c] = std::min<std::uint8_t>(s.channelPosY[c], kPositionGridMax);
  }
  return true;
}

bool isElectrode(int posX) { return posX >= 0 && posX < 128; }

// --- electrode positions --------------------------------------------------------------

int gridFromPixel(int buttonStart, int buttonExtent, int imageStart, int imageExtent) {
  if (imageExtent <= 0) return 0;
  const double v = std::trunc((buttonStart - imageStart + buttonExtent / 2.0) * kPositionGridMax / imageExtent + 0.5);
  return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(kPositionGridMax)));
}

int pixelFromGrid(int pos, int buttonExtent, int imageStart, int imageExtent) {
  const int p = std::clamp(pos, 0, kPositionGridMax);
  return imageStart + p * imageExtent / kPositionGridMax - buttonExtent / 2;
}

bool moveElectrode(StudyState& s, int channel, int dx, int dy) {
  if (channel < 0 || channel >= s.channelCount || channel >= kMaxChannels) return false;
  const auto c = static_cast<std::size_t>(channel);
  if (!isElectrode(s.channelPosX[c])) return false;
  s.channelPosX[c] = static_cast<std::uint8_t>(std::clamp(s.channelPosX[c] + dx, 0, kPositionGridMax));
  s.channelPosY[c] = static_cast<std::uint8_t>(std::clamp(s.channelPosY[c] + dy, 0, kPositionGridMax));
  return true;
}

std::string positionText(const StudyState& s, int channel) {
  if (channel < 0 || channel >= kMaxChannels) return {};
  const auto c = static_cast<std::size_t>(channel);
  return integerText(channel + 1) + leads_text::kPositionX + integerText(s.channelPosX[c] - kPositionCentre) + leads_text::kPositionY +
         integerText(kPositionCentre - s.channelPosY[c]);
}

// --- lead pairs --------------------------------------------------------------------------

bool hasEegLeads(const StudyState& s) {
  for (int c = 0; c < s.channelCount && c < kMaxChannels; ++c)
    if (s.channelPosX[static_cast<std::size_t>(c)] != kEcgPosition) return true;
  return false;
}

bool pairIsValid(const StudyState& s, int k) {
  if (k < 0 || k >= pairCountOf(s)) return false;
  const auto& p = s.leadPairs[static_cast<std::size_t>(k)];
  return channelInRecord(s, p[0]) && channelInRecord(s, p[1]) && p[0] != p[1];
}

std::string pairName(const StudyState& s, int k) {
  if (k < 0 || k >= pairCountOf(s)) return {};
  const auto& p = s.leadPairs[static_cast<std::size_t>(k)];
  return leadName(s, p[0]) + "-" + leadName(s, p[1]);
}

PairEdit insertLeadPair(StudyState& s, int row) {
  int first = -1, second = -1;
  for (int c = 0; c < s.channelCount && c < kMaxChannels && second < 0; ++c) {
    if (s.channelPosX[static_cast<std::size_t>(c)] == kEcgPosition) continue;
    (first < 0 ? first : second) = c;
  }
  if (second < 0) return PairEdit::NeedTwoLeads;
  const int count = pairCountOf(s);
  if (count >= kMaxEditorPairs) return PairEdit::Full;
  const int at = std::clamp(row, 0, count);
  for (int k = count; k > at; --k)
    s.leadPairs[static_cast<std::size_t>(k)] = s.leadPairs[static_cast<std::size_t>(k - 1)];
  s.leadPairs[static_cast<std::size_t>(at)] = {static_cast<std::uint8_t>(first + 1), static_cast<std::uint8_t>(second + 1)};
  s.leadPairCount = count + 1;
  return PairEdit::Done;
}

PairEdit deleteLeadPair(StudyState& s, int row) {
  const int count = pairCountOf(s);
  if (row < 0 || row >= count) return PairEdit::Unchanged;
  for (int k = row; k + 1 < count; ++k)
    s.leadPairs[static_cast<std::size_t>(k)] = s.leadPairs[static_cast<std::size_t>(k + 1)];
  s.leadPairs[static_cast<std::size_t>(count - 1)] = {0, 0};
  s.leadPairCount = count - 1;
  return PairEdit::Done;
}

PairEdit changeLeadPair(StudyState& s, int row, int draggedChannel, int targetChannel) {
  if (row < 0 || row >= pairCountOf(s) || !channelInRecord(s, draggedChannel) || !channelInRecord(s, targetChannel) ||
      targetChannel > kMaxChannels)
    return PairEdit::Unchanged;
  auto pair = s.leadPairs[static_cast<std::size_t>(row)];
  if (pair[0] == draggedChannel)
    pair[0] = static_cast<std::uint8_t>(targetChannel);
  else if (pair[1] == draggedChannel)
    pair[1] = static_cast<std::uint8_t>(targetChannel);
  else
    return PairEdit::Unchanged;
  if (pair[0] == pair[1]) return PairEdit::Unchanged;  // a channel paired with itself measures nothing
  s.leadPairs[static_cast<std::size_t>(row)] = pair;
  return PairEdit::Done;
}

bool readLeadPairs(StudyState& s, const std::string& path, Interaction& ui) {
  const auto lines = readTextLines(path);
  if (!lines) {
    ui.message(unreadable(path, "файл не читается"));
    return false;
  }
  std::vector<std::array<std::uint8_t, 2>> pairs;
  for (const std::string& line : *lines) {
    const std::string t = trimSpaces(line);
    const std::size_t blank = t.find(' ');
    if (blank == std::string::npos) continue;
    const int a = channelNamed(s, trimSpaces(std::string_view(t).substr(0, blank)));
    const int b = channelNamed(s, trimSpaces(std::string_view(t).substr(blank + 1)));
    if (a == 0 || b == 0 || a == b) continue;
    pairs.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
  }
  if (pairs.empty()) {
    ui.message(unreadable(path, "в нём нет ни одной пары отведений этой записи"));
    return false;
  }
  if (static_cast<int>(pairs.size()) > kMaxEditorPairs) {
    ui.message(unreadable(path, "в нём " + integerText(static_cast<long long>(pairs.size())) + " пар отведений, а допускается не больше " +
                                    integerText(kMaxEditorPairs)));
    return false;
  }
  for (auto& p : s.leadPairs) p = {0, 0};
  for (std::size_t k = 0; k < pairs.size(); ++k) s.leadPairs[k] = pairs[k];
  s.leadPairCount = static_cast<int>(pairs.size());
  return true;
}

bool writeLeadPairs(const StudyState& s, const std::string& path, Interaction& ui) {
  const int count = pairCountOf(s);
  if (count == 0) {
    ui.message(unwritten(path, "пары отведений не заданы"));
    return false;
  }
  std::vector<std::string> lines;
  for (int k = 0; k < count; ++k) {
    if (!pairIsValid(s, k)) {
      ui.message(unwritten(path, "пара " + integerText(k + 1) + " не соединяет два канала записи"));
      return false;
    }
    std::string ends[2];
    for (int e = 0; e < 2; ++e) {
      const int c = s.leadPairs[static_cast<std::size_t>(k)][static_cast<std::size_t>(e)];
      ends[e] = leadName(s, c);
      // The reader finds channels by name: each must name exactly this channel.
      if (ends[e].empty() || ends[e].find(' ') != std::string::npos || channelNamed(s, ends[e]) != c) {
        ui.message(unwritten(path, "имя канала " + integerText(c) + " (\"" + ends[e] +
                                       "\") пусто, содержит пробел или повторяется, и пара " + integerText(k + 1) +
                                       " не прочиталась бы обратно"));
        return false;
      }
    }
    lines.push_back(ends[0] + " " + ends[1]);
  }
  if (!writeTextLines(path, lines)) {
    ui.message(unwritten(path, "ошибка записи файла"));
    return false;
  }
  return true;
}

// --- channel order -------------------------------------------------------------------

OrderColumn identityOrder() {
  OrderColumn o{};
  for (int i = 0; i < kMaxChannels; ++i) o[static_cast<std::size_t>(i)] = i + 1;
  return o;
}

OrderColumn orderFromState(const StudyState& s) {
  OrderColumn o = identityOrder();
  for (int i = 0; i < kMaxChannels; ++i) {
    const int v = s.channelOrder[i];
    if (v >= 0 && v < kMaxChannels) o[static_cast<std::size_t>(i)] = v + 1;
  }
  return o;
}

std::string orderProblem(const OrderColumn& order, int channelCount) {
  if (channelCount < 1 || channelCount > kMaxChannels)
    return "число каналов " + integerText(channelCount) + " вне 1.." + integerText(kMaxChannels);
  std::array<int, kMaxChannels + 1> seenAt{};
  for (int i = 0; i < channelCount; ++i) {
    const int v = order[static_cast<std::size_t>(i)];
    if (v < 1 || v > channelCount)
      return "у канала " + integerText(i + 1) + " номер " + integerText(v) + " вне 1.." + integerText(channelCount);
    if (seenAt[static_cast<std::size_t>(v)] != 0)
      return "номер " + integerText(v) + " указан у каналов " + integerText(seenAt[static_cast<std::size_t>(v)]) + " и " + integerText(i + 1);
    seenAt[static_cast<std::size_t>(v)] = i + 1;
  }
  return {};  // n different numbers in 1..n: every position is taken once
}

namespace {

// The order column from `count` lines starting at `first`; channels beyond
// channelCount are not read.
bool readOrderColumn(const std::vector<std::string>& lines, std::size_t first, int channelCount, OrderColumn& out,
                     std::string& reason) {
  out = identityOrder();
  if (channelCount < 1 || channelCount > kMaxChannels) {
    reason = "число каналов " + integerText(channelCount) + " вне 1.." + integerText(kMaxChannels);
    return false;
  }
  for (int i = 0; i < channelCount; ++i) {
    const std::size_t at = first + static_cast<std::size_t>(i);
    const auto v = lineNumber(lines, at);
    if (!v) {
      reason = "строка " + integerText(static_cast<long long>(at) + 1) +
               (at < lines.size() ? " не содержит номера канала" : ": файл кончается раньше");
      return false;
    }
    out[static_cast<std::size_t>(i)] = *v;
  }
  reason = orderProblem(out, channelCount);
  return reason.empty();
}

std::vector<std::string> numberLines(const OrderColumn& c) {
  std::vector<std::string> lines;
  for (int v : c) lines.push_back(integerText(v));
  return lines;
}

}  // namespace

bool readOrderFile(const std::string& path, int channelCount, OrderFile& out, std::string& reason) {
  const auto lines = readTextLines(path);
  if (!lines) {
    reason = "файл не читается";
    return false;
  }
  OrderFile f;
  for (int i = 0; i < kMaxChannels; ++i) {
    const auto v = lineNumber(*lines, static_cast<std::size_t>(i));
    f.firstColumn[static_cast<std::size_t>(i)] = (v && *v >= 1 && *v <= channelCount) ? *v : i + 1;
  }
  if (!readOrderColumn(*lines, kMaxChannels, channelCount, f.order, reason)) return false;
  out = f;
  return true;
}

bool writeOrderFile(const std::string& path, const OrderFile& f) {
  std::vector<std::string> lines = numberLines(f.firstColumn);
  const std::vector<std::string> order = numberLines(f.order);
  lines.insert(lines.end(), order.begin(), order.end());
  return writeTextLines(path, lines);
}

bool readNewOrderFile(const std::string& path, int channelCount, OrderColumn& out, std::string& reason) {
  const auto lines = readTextLines(path);
  if (!lines) {
    reason = "файл не читается";
    return false;
  }
  OrderColumn o;
  if (!readOrderColumn(*lines, 0, channelCount, o, reason)) return false;
  out = o;
  return true;
}

bool writeNewOrderFile(const std::string& path, const OrderColumn& order) {
  return writeTextLines(path, numberLines(order));
}

bool setChannelOrder(StudyState& s, const OrderColumn& order, Interaction& ui) {
  if (const std::string problem = orderProblem(order, s.channelCount); !problem.empty()) {
    ui.message("Порядок каналов не принят: " + problem + ".");
    return false;
  }
  for (int i = 0; i < kMaxChannels; ++i)
    s.channelOrder[i] = static_cast<std::int8_t>(i < s.channelCount ? order[static_cast<std::size_t>(i)] - 1 : i);
  return true;
}

SlotMoves reorderMoves(const StudyState& s, const OrderColumn& order, int reorderMode) {
  SlotMoves to{};
  for (int i = 0; i < kMaxChannels; ++i) to[static_cast<std::size_t>(i)] = i;
  const int n = s.channelCount;
  if (!orderProblem(order, n).empty()) return to;
  // Where the attributes of channel i sit now: slot i in the record; for
  // acquisition the slot the current map gave them (slot i again when that
  // map is not a permutation of the channels).
  SlotMoves now = to;
  const OrderColumn current = orderFromState(s);
  if (reorderMode == 0 && orderProblem(current, n).empty())
    for (int i = 0; i < n; ++i) now[static_cast<std::size_t>(i)] = current[static_cast<std::size_t>(i)] - 1;
  for (int i = 0; i < n; ++i)
    to[static_cast<std::size_t>(now[static_cast<std::size_t>(i)])] = order[static_cast<std::size_t>(i)] - 1;
  return to;
}

namespace {

bool reorderRefused(const StudyState& s, const OrderColumn& order, Interaction& ui) {
  if (s.acquisitionActive != 0) {
    ui.message("Во время исследования каналы не переставляются.");
    return true;
  }
  if (const std::string problem = orderProblem(order, s.channelCount); !problem.empty()) {
    ui.message("Каналы не переставлены: " + problem + ".");
    return true;
  }
  return false;
}

}  // namespace

bool reorderRecord(StudyState& s, const OrderColumn& order, Interaction& ui) {
  if (reorderRefused(s, order, ui)) return false;
  const int n = s.channelCount;
  const SlotMoves to = reorderMoves(s, order, 1);
  if (isIdentity(to, n)) return true;
  auto at = [](int i) { return static_cast<std::size_t>(i); };
  // Buffers move by pointer: a permutation of the first n keeps every buffer owned once.
  permuteSlots(n, to, [&](int i) -> std::int16_t*& { return s.channelData[at(i)]; });
  permuteSlots(n, to, [&](int i) -> std::int16_t*& { return s.parkedChannelData[at(i)]; });
  permuteSlots(n, to, [&](int i) -> std::uint16_t& { return s.zeroLevel[i]; });
  permuteSlots(n, to, [&](int i) -> std::uint16_t& { return s.calibUnits[i]; });
  permuteSlots(n, to, [&](int i) -> std::uint16_t& { return s.calibValue[i]; });
  permuteSlots(n, to, [&](int i) -> std::uint8_t& { return s.channelPosX[at(i)]; });
  permuteSlots(n, to, [&](int i) -> std::uint8_t& { return s.channelPosY[at(i)]; });
  permuteSlots(n, to, [&](int i) -> std::string& { return s.channelNames[at(i)]; });
  renumberPairs(s, n, to);
  // A deleted channel (negative value) must still restore the count on leaving.
  if (s.recordModified >= 0) s.recordModified = 1;
  return true;
}

bool reorderAcquisition(StudyState& s, const OrderColumn& order, Interaction& ui) {
  if (reorderRefused(s, order, ui)) return false;
  const int n = s.channelCount;
  const SlotMoves to = reorderMoves(s, order, 0);
  auto at = [](int i) { return static_cast<std::size_t>(i); };
  if (!isIdentity(to, n)) {
    permuteSlots(n, to, [&](int i) -> std::uint16_t& { return s.calibValue[i]; });
    permuteSlots(n, to, [&](int i) -> std::uint8_t& { return s.channelPosX[at(i)]; });
    permuteSlots(n, to, [&](int i) -> std::uint8_t& { return s.channelPosY[at(i)]; });
    permuteSlots(n, to, [&](int i) -> std::string& { return s.channelNames[at(i)]; });
    renumberPairs(s, n, to);
  }
  for (int i = 0; i < kMaxChannels; ++i)
    s.channelOrder[i] = static_cast<std::int8_t>(i < n ? order[static_cast<std::size_t>(i)] - 1 : i);
  return true;
}

// --- position templates ---------------------------------------------------------------

int templateSizeFor(int channelCount) {
  if (channelCount <= 4) return 4;
  if (channelCount <= 8) return 8;
  if (channelCount <= 16) return 16;
  return 20;
}

std::string templateFileName(int size) {
  return std::string(leads_text::kTemplatePrefix) + integerText(size) + leads_text::kTemplateSuffix;
}

bool parseLeadTemplate(const std::vector<std::string>& lines, LeadTemplate& out, std::string& reason) {
  const auto count = lineNumber(lines, 0);
  if (!count || *count < 0 || *count > kMaxLeadPairs) {
    reason = "строка 1 должна содержать число пар 0.." + integerText(kMaxLeadPairs);
    return false;
  }
  LeadTemplate t;
  t.pairCount = *count;
  const std::size_t blocks = std::min<std::size_t>((lines.size() - 1) / 5, kMaxChannels);
  for (std::size_t i = 0; i < blocks; ++i) {
    TemplateChannel c;
    c.name = trimSpaces(lines[5 * i + 1]);
    int* fields[] = {&c.posX, &c.posY, &c.pairFirst, &c.pairSecond};
    for (std::size_t f = 0; f < 4; ++f) {
      const std::size_t at = 5 * i + 2 + f;
      const auto v = lineNumber(lines, at);
      if (!v || *v < 0 || *v > 255) {
        reason = "строка " + integerText(static_cast<long long>(at) + 1) + " должна содержать число 0..255";
        return false;
      }
      *fields[f] = *v;
    }
    t.channels.push_back(std::move(c));
  }
  out = std::move(t);
  return true;
}

std::vector<std::string> leadTemplateLines(const LeadTemplate& t) {
  std::vector<std::string> lines{integerText(t.pairCount)};
  for (const TemplateChannel& c : t.channels) {
    lines.push_back(c.name);
    for (int v : {c.posX, c.posY, c.pairFirst, c.pairSecond}) lines.push_back(integerText(v));
  }
  return lines;
}

LeadTemplate builtinLeadTemplate(int size) {
  using Site = ElectrodeSite;
  auto at = [](const char* name) { return *electrodeSiteNamed(name); };
  static const Site fp1 = at("Fp1"), fp2 = at("Fp2"), f7 = at("F7"), f3 = at("F3"), fz = at("Fz"), f4 = at("F4"),
                    f8 = at("F8"), t3 = at("T3"), c3 = at("C3"), cz = at("Cz"), c4 = at("C4"), t4 = at("T4"),
                    t5 = at("T5"), p3 = at("P3"), pz = at("Pz"), p4 = at("P4"), t6 = at("T6"), o1 = at("O1"),
                    o2 = at("O2");
  std::vector<Site> sites;
  std::vector<std::array<int, 2>> pairs;  // 1-based, longitudinal chains front to back
  if (size <= 4) {
    sites = {f3, f4, o1, o2};
    pairs = {{1, 3}, {2, 4}, {1, 2}, {3, 4}};
  } else if (size <= 8) {
    sites = {fp1, fp2, c3, c4, t3, t4, o1, o2};
    pairs = {{1, 3}, {3, 7}, {2, 4}, {4, 8}, {1, 5}, {5, 7}, {2, 6}, {6, 8}};
  } else if (size <= 16) {
    sites = {fp1, fp2, f7, f3, f4, f8, t3, c3, c4, t4, t5, p3, p4, t6, o1, o2};
    pairs = {{1, 4},  {4, 8},  {8, 12}, {12, 15}, {2, 5},  {5, 9},   {9, 13},  {13, 16},
             {1, 3},  {3, 7},  {7, 11}, {11, 15}, {2, 6},  {6, 10},  {10, 14}, {14, 16}};
  } else {
    sites = {fp1, fp2, f7, f3, fz, f4, f8, t3, c3, cz, c4, t4, t5, p3, pz, p4, t6, o1, o2};
    pairs = {{1, 4}, {4, 9},  {9, 14},  {14, 18}, {2, 6},  {6, 11},  {11, 16}, {16, 19}, {1, 3},
             {3, 8}, {8, 13}, {13, 18}, {2, 7},   {7, 12}, {12, 17}, {17, 19}, {5, 10},  {10, 15}};
  }
  LeadTemplate t;
  for (const Site& site : sites) t.channels.push_back({site.name, site.x, site.y, 0, 0});
  if (size > 16) t.channels.push_back({"ЭКГ", kKindEcg, 0, 0, 0});  // the twentieth channel of a 19-lead EEG
  t.pairCount = static_cast<int>(pairs.size());
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    t.channels[k].pairFirst = pairs[k][0];
    t.channels[k].pairSecond = pairs[k][1];
  }
  return t;
}

void applyLeadTemplate(StudyState& s, const LeadTemplate& t) {
  const int loaded = std::min({s.channelCount, static_cast<int>(t.channels.size()), kMaxChannels});
  for (int i = 0; i < loaded; ++i) {
    const TemplateChannel& c = t.channels[static_cast<std::size_t>(i)];
    const auto at = static_cast<std::size_t>(i);
    s.channelNames[at] = fitLeadName(c.name);
    s.channelPosX[at] = static_cast<std::uint8_t>(std::clamp(c.posX, 0, 255));
    s.channelPosY[at] = static_cast<std::uint8_t>(std::clamp(c.posY, 0, 255));
  }
  // Pair k sits in the slot of channel k; a pair that reaches past the
  // record's channels (a larger template) is left out.
  std::vector<std::array<std::uint8_t, 2>> kept;
  const int slots = std::min<int>(t.pairCount, static_cast<int>(t.channels.size()));
  for (int k = 0; k < slots && static_cast<int>(kept.size()) < kMaxEditorPairs; ++k) {
    const TemplateChannel& c = t.channels[static_cast<std::size_t>(k)];
    if (channelInRecord(s, c.pairFirst) && channelInRecord(s, c.pairSecond) && c.pairFirst != c.pairSecond)
      kept.push_back({static_cast<std::uint8_t>(c.pairFirst), static_cast<std::uint8_t>(c.pairSecond)});
  }
  for (auto& p : s.leadPairs) p = {0, 0};
  for (std::size_t k = 0; k < kept.size(); ++k) s.leadPairs[k] = kept[k];
  s.leadPairCount = static_cast<int>(kept.size());
}

bool recordNamesElectrodes(const StudyState& s) {
  for (int i = 0; i < std::clamp(s.channelCount, 0, kMaxChannels); ++i)
    if (electrodeSiteOfLabel(s.channelNames[static_cast<std::size_t>(i)])) return true;
  return false;
}

void applyLeadTemplateByName(StudyState& s, const LeadTemplate& t) {
  const int n = std::clamp(s.channelCount, 0, kMaxChannels);
  // The record's channel of an electrode, by the site it names (so "T7"
  // finds the template's "T3"); 0 when the record has none.
  auto recordChannelOf = [&](const std::string& name) {
    const auto site = electrodeSiteNamed(trimSpaces(name));
    if (!site) return 0;
    for (int i = 0; i < n; ++i) {
      const auto own = electrodeSiteOfLabel(s.channelNames[static_cast<std::size_t>(i)]);
      if (own && own->x == site->x && own->y == site->y) return i + 1;
    }
    return 0;
  };
  for (int i = 0; i < n; ++i) {
    const auto at = static_cast<std::size_t>(i);
    const auto site = electrodeSiteOfLabel(s.channelNames[at]);
    if (!site) continue;
    int x = site->x, y = site->y;
    for (const TemplateChannel& c : t.channels) {
      if (recordChannelOf(c.name) != i + 1) continue;
      x = c.posX;
      y = c.posY;
      break;
    }
    s.channelPosX[at] = static_cast<std::uint8_t>(std::clamp(x, 0, 255));
    s.channelPosY[at] = static_cast<std::uint8_t>(std::clamp(y, 0, 255));
  }
  // The template's pairs join electrodes: each becomes a pair of the
  // record's channels of those electrodes when it has both.
  std::vector<std::array<std::uint8_t, 2>> kept;
  const int slots = std::min<int>(t.pairCount, static_cast<int>(t.channels.size()));
  const int size = static_cast<int>(t.channels.size());
  for (int k = 0; k < slots && static_cast<int>(kept.size()) < kMaxEditorPairs; ++k) {
    const TemplateChannel& c = t.channels[static_cast<std::size_t>(k)];
    if (c.pairFirst < 1 || c.pairSecond < 1 || c.pairFirst > size || c.pairSecond > size) continue;
    const int a = recordChannelOf(t.channels[static_cast<std::size_t>(c.pairFirst - 1)].name);
    const int b = recordChannelOf(t.channels[static_cast<std::size_t>(c.pairSecond - 1)].name);
    if (a > 0 && b > 0 && a != b) kept.push_back({static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)});
  }
  if (kept.empty()) return;  // the record's own pairs stay
  for (auto& p : s.leadPairs) p = {0, 0};
  for (std::size_t k = 0; k < kept.size(); ++k) s.leadPairs[k] = kept[k];
  s.leadPairCount = static_cast<int>(kept.size());
}

bool loadSystem1020(StudyState& s, Interaction& ui) {
  const int size = templateSizeFor(s.channelCount);
  const std::string path = s.programDir + templateFileName(size);
  LeadTemplate t = builtinLeadTemplate(size);
  if (fileExists(path)) {
    const auto lines = readTextLines(path);
    std::string reason = "файл не читается";
    if (!lines || !parseLeadTemplate(*lines, t, reason)) {
      ui.message(unreadable(path, reason));
      return false;
    }
  }
  if (recordNamesElectrodes(s))
    applyLeadTemplateByName(s, t);
  else
    applyLeadTemplate(s, t);
  return true;
}

LeadTemplate currentLeadTemplate(const StudyState& s) {
  LeadTemplate t;
  t.pairCount = pairCountOf(s);
  // Pairs live in channel slots: a record with more pairs than channels
  // writes as many slots as it has pairs, or the last pairs would be lost.
  const int slots = std::min(kMaxChannels, std::max(s.channelCount, t.pairCount));
  for (int i = 0; i < slots; ++i) {
    const auto at = static_cast<std::size_t>(i);
    t.channels.push_back({trimSpaces(s.channelNames[at]), s.channelPosX[at], s.channelPosY[at], s.leadPairs[at][0],
                          s.leadPairs[at][1]});
  }
  return t;
}

// --- file dispatch ------------------------------------------------------------------------

bool openLeadFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui) {
  std::string reason;
  OrderColumn order{};
  switch (kind) {
    case FileKind::ChannelOrder: {
      OrderFile f;
      if (!readOrderFile(path, s.channelCount, f, reason)) break;
      return setChannelOrder(s, f.order, ui);
    }
    case FileKind::NewChannelOrder:
      if (!readNewOrderFile(path, s.channelCount, order, reason)) break;
      return setChannelOrder(s, order, ui);
    case FileKind::PairGrid:
      return readLeadPairs(s, path, ui);
    default:
      return false;
  }
  ui.message(unreadable(path, reason));
  return false;
}

bool saveLeadFile(StudyState& s, FileKind kind, const std::string& path, Interaction& ui) {
  bool ok = false;
  switch (kind) {
    case FileKind::ChannelOrder:
      ok = writeOrderFile(path, OrderFile{identityOrder(), orderFromState(s)});
      break;
    case FileKind::NewChannelOrder:
      ok = writeNewOrderFile(path, orderFromState(s));
      break;
    case FileKind::PairGrid:
      return writeLeadPairs(s, path, ui);
    default:
      return false;
  }
  if (!ok) ui.message(unwritten(path, "ошибка записи файла"));
  return ok;
}

void registerViewerFileKinds(FileKindTable& table) {
  for (const FileKind kind : {FileKind::ChannelOrder, FileKind::NewChannelOrder}) {
    table.add({kind, false, {}, {},
               [kind](StudyState& s, const std::string& path, Interaction& ui) { return openLeadFile(s, kind, path, ui); }});
    table.add({kind, true, {}, {},
               [kind](StudyState& s, const std::string& path, Interaction& ui) { return saveLeadFile(s, kind, path, ui); }});
  }
}

}  // namespace velor
