// Messages of the device layer and the amplifier dialogs (UTF-8).
#pragma once

namespace velor::device_texts {

// The converter board's drivers.
inline constexpr const char* kNoVxd = "Отсутствует драйвер VLRVXD.VXD";
inline constexpr const char* kNoEvent = "Не создано событие, работа по прерываниям невозможна";
// NVX rate change.
inline constexpr const char* kRateError = "Ошибка частоты";
inline constexpr const char* kStartError = "Ошибка старта";
// K2 gains refused: followed by the library's result.
inline constexpr const char* kGainErrorPrefix = "ErrSGain=";

// This system's own texts.
inline constexpr const char* kNoDevice = "Устройство не найдено: ";
inline constexpr const char* kTooManyChannels = "Устройство сообщает больше 64 каналов: ";
inline constexpr const char* kZeroPeriod = "Устройство K3 сообщает период опроса 0";
inline constexpr const char* kNoTestSignal = "Устройство не подаёт тестовый сигнал";
inline constexpr const char* kNotOpen = "Устройство не открыто";
inline constexpr const char* kNoImpedance = "Устройство не измеряет импеданс";
inline constexpr const char* kBadGain = "Коэффициент усиления должен быть числом больше 0: ";
inline constexpr const char* kBadLowPass = "Частота ФНЧ должна быть больше 0 Гц: ";
inline constexpr const char* kBadRate = "Устройство не поддерживает частоту ";
inline constexpr const char* kNoLibrary = "Библиотека устройства не загружена: ";
inline constexpr const char* kReplayRate = "Файл с каналами разной частоты не воспроизводится: ";
inline constexpr const char* kStreamEnded = "Поток данных устройства прерван: ";

}  // namespace velor::device_texts
