#include "core/file_kinds.h"

#include <algorithm>

#include "core/binio.h"
#include "core/record_file.h"
#include "core/settings.h"
#include "core/text.h"

namespace velor {

namespace {

// What the file window and the "not available" message know of each kind.
struct KindDescription {
  FileKind kind;
  const char* open;
  const char* save;
  const char* saveTransform;  // the record kind in the transform view
  bool settings;
  const char* caption;  // nullptr: "файлы этого вида"
};

constexpr KindDescription kKinds[] = {
    {FileKind::Records, "Записи (*.cad)|*.cad|Текстовые (*.txt)|*.txt|European (*.edf)|*.edf|EDF32 (*.e32)|*.e32|Текстовые (*.*)|*.*|BrainSys (*.eeg)|*.eeg|BrainSys (*.ee)|*.ee|NeuroScan (*.cnt)|*.cnt|BDF (*.bdf)|*.bdf|Universal (*.udf)|*.udf", "Записи (*.cad)|*.cad|Текстовые (*.txt)|*.txt|European (*.edf)|*.edf|Universal (*.udf)|*.udf|BrainLoc (*.eeg)|*.eeg|Графические (*.bmp)|*.bmp", "Записи (*.cad)|*.cad|Текстовые (*.txt)|*.txt|Графические (*.bmp)|*.bmp", false, nullptr},
    {FileKind::ExamPlans, "Планы (*.cap)|*.cap", "Планы (*.cap)|*.cap", "", true, "план обследования"},
    {FileKind::ChannelSettings, "Файлы установок (*.cai)|*.cai", "Файлы установок (*.cai)|*.cai", "", true, nullptr},
    {FileKind::Maps, "Карты (*.cam)|*.cam", "Карты (*.cam)|*.cam|Граф.файлы (*.bmp)|*.bmp", "", false, "карты"},
    {FileKind::Notebook, "Блокнот (*.cab)|*.cab", "Блокнот (*.cab)|*.cab", "", false, "блокнот"},
    {FileKind::Formulas, "Формулы (*.caf)|*.caf", "Формулы (*.caf)|*.caf", "", true, "формулы"},
    {FileKind::Picture, "Граф.файлы (*.bmp)|*.bmp", "Граф.файлы (*.bmp)|*.bmp", "", false, "графический файл"},
    {FileKind::Text, "Текстовые (*.txt)|*.txt|Диагнозы (*.cac)|*.cac", "Текстовые (*.txt)|*.txt|Диагнозы (*.cac)|*.cac", "", false, nullptr},
    {FileKind::RecordsForCaller, "Записи (*.cad)|*.cad", "Записи (*.cad)|*.cad", "", false, "файл записей для преобразования"},
    {FileKind::Averages, "Усреднения (*.cav)|*.cav", "Усреднения (*.cav)|*.cav", "", true, "усреднения"},
    {FileKind::SideWindow, "", "Спектр.парам.(*.txt)|*.txt|Граф.файлы (*.bmp)|*.bmp", "", false, "графический файл"},
    {FileKind::ChannelOrder, "Порядок каналов (*.chn)|*.chn", "Порядок каналов (*.chn)|*.chn", "", true, nullptr},
    {FileKind::GraphText, "", "ГрафTxt (*.txt)|*.txt", "", false, "график в тексте"},
    {FileKind::NewChannelOrder, "Порядок каналов (*.nch)|*.nch", "Порядок каналов (*.nch)|*.nch", "", false, nullptr},
    {FileKind::ExamHeader, "Записи (*.cad)|*.cad|", "", "", false, nullptr},
    {FileKind::Constructs, "Конструкты (*.cas)|*.cas|", "Конструкты (*.cas)|*.cas|", "", true, "конструкты"},
    {FileKind::Sortings, "Сортировки (*.car)|*.car", "Сортировки (*.car)|*.car", "", true, "сортировки"},
    {FileKind::Protocols, "Протоколы (*.prt)|*.prt", "Протоколы (*.prt)|*.prt", "", true, "протоколы"},
    {FileKind::Macros, "Макрокоманды (*.cmc)|*.cmc", "Макрокоманды (*.cmc)|*.cmc", "", true, "макрокоманды"},
    {FileKind::SpectralParameters, "Спектр.парам.(*.txt)|*.txt", "", "", false, nullptr},
    {FileKind::FrequencyBands, "Частотн.диап.(*.dia)|*.dia", "Частотн.диап.(*.dia)|*.dia", "", true, "частотные диапазоны"},
    {FileKind::PairGrid, " Сетка пар отведений(*.csg)|*.csg", " Сетка пар отведений(*.csg)|*.csg", "", true, "сетка пар отведений"},
};

// The record kind names its missing formats by extension.
struct RecordFormatCaption {
  const char* extension;
  const char* caption;
};
constexpr RecordFormatCaption kRecordFormatCaptions[] = {
    {".edf", "EDF"}, {".udf", "EDF"}, {".e32", "EDF32"}, {".bmp", "графический файл"}};

const KindDescription* describe(FileKind kind) {
  for (const auto& k : kKinds)
    if (k.kind == kind) return &k;
  return nullptr;
}

bool names(const std::vector<std::string>& list, std::string_view extension) {
  return std::find(list.begin(), list.end(), extension) != list.end();
}

// --- window registrations ------------------------------------------------------------

struct WindowEntry {
  long id;
  FileKind kind;
  bool saving;
  FileKindHandler handler;
};

// Only the interface thread opens and saves files, so no lock.
std::vector<WindowEntry>& windowEntries() {
  static std::vector<WindowEntry> entries;
  return entries;
}

long nextId = 0;

}  // namespace

std::string fileKindFilter(FileKind kind, bool save, bool transformView) {
  const KindDescription* k = describe(kind);
  if (!k) return {};
  if (save && transformView && k->saveTransform[0] != '\0') return k->saveTransform;
  return save ? k->save : k->open;
}

bool fileKindIsSettings(FileKind kind) {
  const KindDescription* k = describe(kind);
  return k && k->settings;
}

std::string fileKindCaption(FileKind kind, std::string_view extension) {
  if (kind == FileKind::Records) {
    for (const auto& c : kRecordFormatCaptions)
      if (extension == c.extension) return c.caption;
  } else if (const KindDescription* k = describe(kind); k && k->caption) {
    return k->caption;
  }
  return "файлы этого вида";
}

// --- the table ---------------------------------------------------------------------------

void FileKindTable::add(FileKindEntry entry) { entries_.push_back(std::move(entry)); }

const FileKindHandler* FileKindTable::find(FileKind kind, bool saving, std::string_view extension) const {
  // An entry that names the extension comes before one that takes the rest.
  for (const auto& e : entries_)
    if (e.kind == kind && e.saving == saving && e.handler && names(e.extensions, extension)) return &e.handler;
  for (const auto& e : entries_)
    if (e.kind == kind && e.saving == saving && e.handler && e.extensions.empty() && !names(e.except, extension))
      return &e.handler;
  return nullptr;
}

void registerCoreFileKinds(FileKindTable& table) {
  table.add({FileKind::Records, false, {".cad"}, {}, openRecordFile});
  table.add({FileKind::Records, true, {".cad"}, {}, saveRecords});
  table.add({FileKind::ExamHeader, false, {}, {}, readExamHeaderOnly});
  table.add({FileKind::ChannelSettings, false, {}, {},
             [](StudyState& s, const std::string& path, Interaction& ui) { return readChannelSettings(path, s, ui); }});
  table.add({FileKind::ChannelSettings, true, {}, {}, [](StudyState& s, const std::string& path, Interaction& ui) {
               if (writeChannelSettings(path, s)) return true;
               ui.message("Файл " + baseName(path) + " не записан.");
               return false;
             }});
}

// --- window registrations ------------------------------------------------------------------

FileKindRegistration::FileKindRegistration(FileKind kind, bool saving, FileKindHandler handler) : id_(++nextId) {
  windowEntries().push_back(WindowEntry{id_, kind, saving, std::move(handler)});
}

FileKindRegistration::~FileKindRegistration() {
  auto& r = windowEntries();
  r.erase(std::remove_if(r.begin(), r.end(), [this](const WindowEntry& e) { return e.id == id_; }), r.end());
}

const FileKindHandler* findFileKindHandler(FileKind kind, bool saving) {
  const auto& r = windowEntries();
  for (auto it = r.rbegin(); it != r.rend(); ++it)
    if (it->kind == kind && it->saving == saving && it->handler) return &it->handler;
  return nullptr;
}

}  // namespace velor
