// Captions and messages of the annotation list of an EDF+ file.
#pragma once

namespace velor::annotation_list_text {

inline constexpr const char* kCaption = "Аннотации";
inline constexpr const char* kSecondsSuffix = " с";
inline constexpr const char* kPagePrefix = "стр. ";
inline constexpr const char* kNoEdfOpen = "Аннотации есть только у открытого файла EDF+ или BDF+.";
inline constexpr const char* kNoAnnotations = "В файле нет аннотаций.";
inline constexpr const char* kCannotReadPrefix = "Аннотации файла не прочитаны: ";

}  // namespace velor::annotation_list_text
