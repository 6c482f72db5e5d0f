#include "interchange/record_formats.h"

#include "core/binio.h"
#include "interchange/brainloc.h"
#include "interchange/edf.h"
#include "interchange/foreign_formats.h"
#include "interchange/text_record.h"
#include "interchange/wfdb.h"

namespace velor {

void registerInterchangeFileKinds(FileKindTable& table) {
  table.add({FileKind::Records, false, {".edf", ".udf", ".e32", ".bdf"}, {},
             [](StudyState& s, const std::string& path, Interaction& ui) {
               return openEdf(s, path, edfSampleWidthFor(path), ui);
             }});
  table.add({FileKind::Records, false, {".hea"}, {}, openWfdb});
  // Whatever no other reader names is read as a foreign recording (text by default).
  table.add({FileKind::Records, false, {}, {}, openForeignRecord});
  table.add({FileKind::Records, true, {".edf", ".udf"}, {}, [](StudyState& s, const std::string& path, Interaction& ui) {
               return exportEdf(s, path, extensionLower(path) == ".udf", ui);
             }});
  table.add({FileKind::Records, true, {".eeg"}, {}, writeBrainLoc});
  table.add({FileKind::Records, true, {}, {".bmp"}, saveRecordsAsText});
  table.add({FileKind::SpectralParameters, false, {}, {},
             [](StudyState& s, const std::string& path, Interaction&) { return readSpectralParameters(s, path); }});
  table.add({FileKind::SideWindow, true, {}, {".bmp"},
             [](StudyState& s, const std::string& path, Interaction& ui) { return writeTextRecord(s, path, ui); }});
}

}  // namespace velor
