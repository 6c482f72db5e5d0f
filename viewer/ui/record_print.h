// Printing the record: the monitor's drawing at the size and place of the
// print settings, or an ECG record's last four seconds in the clinical
// scale, as one page with the patient line and the monitor's caption (its
// scale included) above (or below) the picture. The page is painted into any paint device, so the print dialog's
// printer, a PDF file of velor-cli and the tests all get the same page.
#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <optional>

#include "core/interaction.h"
#include "core/study_state.h"
#include "results/print_place.h"
#include "results/print_settings.h"

class QPainter;

namespace velor {

class MonitorWidget;
class PrintTarget;

inline constexpr const char* kEcgPrintQuestion = "Печатать ЭКГ в стандартном клиническом масштабе?";

// What goes on the page.
struct RecordPage {
  QImage picture;         // the part of the drawing that prints
  bool portrait = true;
  bool clinicalEcg = false;
  int ecgGain = 0;        // the gain step of the clinical scale
  PrintSettings settings;  // place and size (not used by the clinical scale)
  QString header;          // the patient line, then the monitor's caption
};

// The picture F2 prints from the monitor. For an ECG record the person is
// asked for the clinical scale first; otherwise, or on No, askSettings is the
// print settings dialog. Nothing (and no change) while an examination
// records or when the dialog is cancelled. The clinical scale redraws the
// monitor at zoom 0 and its gain, takes the picture and gives the view back.
std::optional<RecordPage> takeRecordPage(MonitorWidget& monitor, StudyState& s, Interaction& ui,
                                         const std::function<std::optional<PrintSettings>()>& askSettings);

// The picture's place on a page of pageWidth × pageHeight printer units.
PageRect recordPageRect(const RecordPage& page, const StudyState& s, int pageWidth, int pageHeight);

// Paints the page: the picture stretched into its place and the header in
// the print font just above it (below it when there is no room above).
void paintRecordPage(QPainter& p, const RecordPage& page, const StudyState& s, int pageWidth, int pageHeight);

// A printed picture with its header lines, for every picture print: the
// picture is stretched into `place`, made smaller about its top left corner
// (keeping its proportions) where it would run off the page or leave no room
// for the header, so that nothing of it is cut; the header (lines split by
// "\n", each wrapped to the page, never cut short) goes in the print font of
// `s` just above the picture when the sheet leaves room there, else right
// below it. Returns where the picture went.
QRect paintPrintedPicture(QPainter& p, const QImage& picture, QRect place, const QString& header, const StudyState& s,
                          int pageWidth, int pageHeight);

// The whole print: the page taken from the monitor, then the target opened in
// the page's orientation, painted and finished. False when nothing printed;
// a failure of the output is told through ui.
bool printRecord(MonitorWidget& monitor, StudyState& s, Interaction& ui,
                 const std::function<std::optional<PrintSettings>()>& askSettings, PrintTarget& target);

}  // namespace velor
