// The polygraph window's work without the window: the names of the digital
// inputs ("Dio.ini"), the window's settings ("qpoli.ini"), and the marking of
// extremes by a reference half-wave.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace velor {

struct StudyState;

inline constexpr int kDigitalInputs = 16;

// The 16 lines of "Dio.ini" in `dir` (ending with '/'), trimmed; a file
// shorter than 16 lines is completed with "Вход " + bit number. Nothing when
// the file is missing or unreadable.
std::optional<std::array<std::string, kDigitalInputs>> readDigitalInputNames(const std::string& dir);

// The names of the inputs whose bits are set in `value`, in bit order, one a
// line (CR LF between); empty names are left out.
std::string digitalInputText(const std::array<std::string, kDigitalInputs>& names, int value);

// "&1=Дискретные сигналы": the text for the mark channel's value at the
// cursor. Nothing (and no change) when the record has no mark channel or
// "Dio.ini" is missing.
std::optional<std::string> digitalInputsAtCursor(const StudyState& s);

// "qpoli.ini": ten lines, the form's texts as typed (the edits), the stored
// reference half-wave and the three check boxes.
struct PolygraphSettings {
  std::string tolerancePercent = "30";  // "Границы[%]="
  std::string deadTimeSeconds = "1";    // "Интервал [c]="
  int referenceDuration = 0;            // samples
  int referenceAmplitude = 0;           // codes
  bool extraction = true;               // "=режим"
  bool allRecords = false;              // "Все записи"
  bool inHertz = false;                 // "Cчитать в ГЦ"
  std::string minMs = "40", maxMs = "500", bins = "40";
};

// A missing or short file sets `unreadable` (the window beeps) and keeps the
// defaults for what is missing. A check box is checked by any text but "0".
PolygraphSettings readPolygraphSettings(const std::string& dir, bool* unreadable = nullptr);
bool writePolygraphSettings(const std::string& dir, const PolygraphSettings& s);

enum class ExtremeKind { Maxima = 1, Minima = 2, Both = 3 };

struct ExtremeMarking {
  int accepted = 0;       // half-waves that matched the reference
  int referenceDuration = 0, referenceAmplitude = 0;  // as used (and stored)
};

// Marks the extremes of channel `channel` (0-based) whose half-wave matches
// the reference within the tolerance, at most one per dead time. The
// reference is the selection (cursor to anchor) when there is one, which
// then becomes the stored reference in `settings`; otherwise the stored one.
// With `extraction` every sample becomes the zero line except the written
// back extremes; without, a mark (4096) follows each accepted extreme. Sets
// recordModified. False with `message` (nothing changed) without a channel
// or without any reference.
bool markExtremes(StudyState& s, int channel, ExtremeKind kind, PolygraphSettings& settings, ExtremeMarking& out,
                  std::string& message);

}  // namespace velor
