#include "core/electrode_sites.h"

#include <cctype>

#include "core/study_state.h"

namespace velor {

namespace {

std::string upper(std::string_view s) {
  std::string u;
  u.reserve(s.size());
  for (char c : s) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

bool startsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

bool contains(std::string_view s, std::string_view p) { return s.find(p) != std::string_view::npos; }

// The label without its "EEG" word, blanks and trailing dots.
std::string_view bareLabel(std::string_view label) {
  auto trim = [](std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\0')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\0' || t.back() == '.')) t.remove_suffix(1);
    return t;
  };
  label = trim(label);
  if (label.size() > 3 && upper(label.substr(0, 3)) == "EEG" &&
      (label[3] == ' ' || label[3] == '-' || label[3] == '_' || label[3] == ':'))
    label = trim(label.substr(4));
  return label;
}

}  // namespace

const std::vector<ElectrodeSite>& electrodeSites() {
  // The 10-20 sites on the 10% ring (Fpz, T3, Oz, ...) lie about 25 grid
  // steps from the centre; the 10-10 sites sit between their neighbours.
  static const std::vector<ElectrodeSite> sites = {
      // 10-20
      {"Fp1", 23, 7}, {"Fp2", 39, 7}, {"F7", 11, 16}, {"F3", 20, 19}, {"Fz", 31, 19}, {"F4", 42, 19},
      {"F8", 51, 16}, {"T3", 6, 31}, {"C3", 19, 31}, {"Cz", 31, 31}, {"C4", 43, 31}, {"T4", 56, 31},
      {"T5", 11, 46}, {"P3", 20, 43}, {"Pz", 31, 43}, {"P4", 42, 43}, {"T6", 51, 46}, {"O1", 23, 55},
      {"O2", 39, 55}, {"Fpz", 31, 6}, {"Oz", 31, 56},
      // the newer names of the temporal sites
      {"T7", 6, 31}, {"T8", 56, 31}, {"P7", 11, 46}, {"P8", 51, 46},
      // ears and mastoids, just outside the ring
      {"A1", 2, 34}, {"A2", 60, 34}, {"M1", 4, 40}, {"M2", 58, 40},
      // 10-10
      {"AF7", 15, 10}, {"AF3", 25, 12}, {"AFz", 31, 12}, {"AF4", 37, 12}, {"AF8", 47, 10},
      {"F9", 4, 16}, {"F5", 15, 18}, {"F1", 26, 19}, {"F2", 36, 19}, {"F6", 47, 18}, {"F10", 58, 16},
      {"FT9", 3, 23}, {"FT7", 8, 24}, {"FC5", 13, 25}, {"FC3", 20, 25}, {"FC1", 26, 25}, {"FCz", 31, 25},
      {"FC2", 36, 25}, {"FC4", 42, 25}, {"FC6", 49, 25}, {"FT8", 54, 24}, {"FT10", 59, 23},
      {"T9", 1, 31}, {"C5", 12, 31}, {"C1", 25, 31}, {"C2", 37, 31}, {"C6", 50, 31}, {"T10", 61, 31},
      {"TP9", 3, 39}, {"TP7", 8, 38}, {"CP5", 13, 37}, {"CP3", 20, 37}, {"CP1", 26, 37}, {"CPz", 31, 37},
      {"CP2", 36, 37}, {"CP4", 42, 37}, {"CP6", 49, 37}, {"TP8", 54, 38}, {"TP10", 59, 39},
      {"P9", 4, 47}, {"P5", 15, 44}, {"P1", 26, 43}, {"P2", 36, 43}, {"P6", 47, 44}, {"P10", 58, 47},
      {"PO7", 15, 52}, {"PO3", 25, 50}, {"POz", 31, 50}, {"PO4", 37, 50}, {"PO8", 47, 52},
      {"O9", 24, 60}, {"Iz", 31, 61}, {"O10", 38, 60},
  };
  return sites;
}

std::optional<ElectrodeSite> electrodeSiteNamed(std::string_view name) {
  const std::string u = upper(name);
  for (const ElectrodeSite& site : electrodeSites())
    if (upper(site.name) == u) return site;
  return std::nullopt;
}

std::optional<ElectrodeSite> electrodeSiteOfLabel(std::string_view label) {
  std::string_view t = bareLabel(label);
  const std::size_t cut = t.find_first_of("-/");
  if (cut != std::string_view::npos) t = t.substr(0, cut);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  if (t.empty()) return std::nullopt;
  return electrodeSiteNamed(t);
}

std::optional<LabelPlace> placeOfLabel(std::string_view label) {
  if (const auto site = electrodeSiteOfLabel(label)) {
    LabelPlace p;
    p.posX = static_cast<std::uint8_t>(site->x);
    p.posY = static_cast<std::uint8_t>(site->y);
    p.eeg = true;
    return p;
  }
  const std::string u = upper(bareLabel(label));
  struct Kind {
    const char* word;
    int code;
    bool atStart;  // the word must open the label (short words that occur inside others)
  };
  static const Kind kinds[] = {
      {"ECG", kKindEcg, false},        {"EKG", kKindEcg, false},       {"EOG", kKindEog, false},
      {"EMG", kKindEmg, false},        {"RESP", kKindBreathing, false}, {"BREATH", kKindBreathing, false},
      {"THOR", kKindBreathing, true},  {"ABDO", kKindBreathing, true}, {"AIRFLOW", kKindBreathing, false},
      {"GSR", kKindSkinResponse, false}, {"EDA", kKindSkinResponse, true}, {"PPG", kKindPhotoPlethysmogram, false},
      {"PLETH", kKindPhotoPlethysmogram, false}, {"TEMP", kKindTemperature, true},
      {"ACC", kKindAccel, true},
  };
  for (const Kind& k : kinds) {
    if (k.atStart ? startsWith(u, k.word) : contains(u, k.word)) {
      LabelPlace p;
      p.posX = static_cast<std::uint8_t>(k.code);
      return p;
    }
  }
  return std::nullopt;
}

}  // namespace velor
