// Captions and messages of the spectral engine and the band table window.
#pragma once

namespace velor::spectral_text {

inline constexpr const char* kBandWindowTitle = "Частотные диапазоны";
inline constexpr const char* kHeadNumber = " N";
inline constexpr const char* kHeadName = "Наименов";
inline constexpr const char* kHeadLow = "  НЧ";
inline constexpr const char* kHeadHigh = "  ВЧ";
inline constexpr const char* kWriteBands = "Запись параметров в архив";
inline constexpr const char* kReadBands = "Чтение параметров из архива";
inline constexpr const char* kNoBands = "Не установлены частотные диапазоны!";
// Names of the default bands, as the express analysis legend lists them.
inline constexpr const char* kDefaultBandNames = "Дельта Тета Альфа Бета1 Бета2";

// Window kinds 0..10.
inline constexpr const char* kWindowNames[11] = {
    "Нет",
    "Ханна 31Дб",
    "Хемминга 43Дб",
    "Блекмана 58Дб",
    "Блекмана 61Дб",
    "Блекмана 74Дб",
    "Блекмана 92Дб",
    "Кайзера 46 Дб",
    "Кайзера 57Дб",
    "Кайзера 69Дб",
    "Кайзера 82Дб",
};

}  // namespace velor::spectral_text
