// Where a printed picture lands on the page, in printer units: the record
// monitor's drawing (at the size and place of the print settings, or across
// the page), the ECG record in the clinical scale, and a graph window's
// picture. Pure arithmetic, so every rule can be checked without a printer.
#pragma once

#include "core/study_state.h"
#include "results/print_settings.h"

namespace velor {

// Right and bottom are exclusive, as a stretched picture fills them.
struct PageRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const PageRect&) const = default;
};

// A picture prints on a portrait page when the sheet is 20 cm across the
// printer's page width, otherwise across the sheet's length.
bool printsPortrait(const PrintSettings& p);

// The monitor's drawing (drawingWidth × drawingHeight pixels) on a page
// pageWidth printer units wide: with the maximal size from (0, 0) across the
// whole width at the drawing's aspect; otherwise at the centimetres of the
// settings, taking pageWidth / paperWidthCm units per centimetre.
PageRect recordPrintRect(const PrintSettings& p, int pageWidth, int drawingWidth, int drawingHeight);

// An ECG record: one the ECG analysis left a pending channel count for.
bool isEcgRecord(const StudyState& s);
// The gain step at which one channel row spans 2000 calibration units (2 mV
// for µV channels), from channel 0's calibration; the current gain step when
// that calibration gives no finite value.
int ecgGainStep(const StudyState& s);
// Columns of the drawing the clinical print takes: four seconds at zoom 0,
// no more than the drawing holds.
int ecgPrintColumns(const StudyState& s);
// Part of the page height the rows take: one centimetre per thousand units
// over a 28.5 cm page.
double ecgHeightFraction(const StudyState& s, int gainStep);
PageRect ecgPrintRect(const StudyState& s, int gainStep, int pageWidth, int pageHeight);

// A graph window's whole picture (pictureWidth × pictureHeight) stretched so
// that the part the window shows (drawingWidth × drawingHeight) prints
// printWidthCm × printHeightCm centimetres at the settings' offsets.
PageRect graphPrintRect(const PrintSettings& p, int pageWidth, int pictureWidth, int pictureHeight, int drawingWidth,
                        int drawingHeight);

}  // namespace velor
