// Messages of the electromyography tools.
#pragma once

namespace velor {

inline constexpr const char kEmgCaption[] = "Миография";
// Not given by the window: refusals of the command-line entry.
inline constexpr const char kEmgNoMarks[] = "В записи нет канала меток: стимулы не найти";
inline constexpr const char kEmgBadBit[] = "Номер стимула вне 1..16";
inline constexpr const char kEmgBadChannel[] = "Нет такого канала";

}  // namespace velor
