#include "results/print_place.h"

#include <algorithm>
#include <cmath>

namespace velor {

namespace {

// Printer units stay far inside int range whatever the settings say.
int units(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::trunc(std::clamp(v, -1e8, 1e8)));
}

constexpr int kMinGain = -50;  // the monitor's own limits of the gain step
constexpr int kMaxGain = 50;

}  // namespace

bool printsPortrait(const PrintSettings& p) { return !p.landscape(); }

PageRect recordPrintRect(const PrintSettings& p, int pageWidth, int drawingWidth, int drawingHeight) {
  PageRect r;
  if (p.printMaxSize) {
    r.right = pageWidth;
    r.bottom = drawingWidth > 0 ? units(static_cast<double>(drawingHeight) * pageWidth / drawingWidth) : 0;
    return r;
  }
  const double s = p.paperWidthCm > 0 ? pageWidth / p.paperWidthCm : 0;
  r.left = units(s * p.printLeftCm);
  r.top = units(s * p.printTopCm);
  r.right = units(s * (p.printWidthCm + p.printLeftCm));
  r.bottom = units(s * (p.printHeightCm + p.printTopCm));
  return r;
}

bool isEcgRecord(const StudyState& s) { return s.pendingChannelCount != 0; }

int ecgGainStep(const StudyState& s) {
  const double units = s.calibUnits[0] == 0 ? 1.0 : s.calibUnits[0];
  const double span = 4096.0 / units * s.calibValue[0] / 2000.0;
  if (!(span > 0) || !std::isfinite(span)) return s.gainStep;
  const double g = std::trunc(std::log10(span) / std::log10(1.2) + 0.5);
  return static_cast<int>(std::clamp(g, double{kMinGain}, double{kMaxGain}));
}

int ecgPrintColumns(const StudyState& s) {
  // At 500 Hz four seconds are 2000 columns, more than any drawing is wide:
  // the print then takes the whole drawing.
  const long m = 4L * std::max(0, s.sampleRate);
  return static_cast<int>(std::clamp<long>(m, 1, std::max(1, s.monitorWidth)));
}

double ecgHeightFraction(const StudyState& s, int gainStep) {
  const double units = s.calibUnits[0] == 0 ? 1.0 : s.calibUnits[0];
  return 4096.0 / units * s.calibValue[0] * s.channelCount / std::pow(1.2, gainStep) / 1000.0 / 28.5;
}

PageRect ecgPrintRect(const StudyState& s, int gainStep, int pageWidth, int pageHeight) {
  PageRect r;
  r.right = pageWidth;
  r.bottom = units(pageHeight * ecgHeightFraction(s, gainStep));
  return r;
}

PageRect graphPrintRect(const PrintSettings& p, int pageWidth, int pictureWidth, int pictureHeight, int drawingWidth,
                        int drawingHeight) {
  PageRect r;
  if (!(p.paperWidthCm > 0) || drawingWidth <= 0 || drawingHeight <= 0) return r;
  const double pxPerCm = pageWidth / p.paperWidthCm;
  const double sx = static_cast<double>(pictureWidth) / drawingWidth * pxPerCm;
  const double sy = static_cast<double>(pictureHeight) / drawingHeight * pxPerCm;
  r.left = units(p.printLeftCm * pxPerCm);
  r.top = units(p.printTopCm * pxPerCm);
  r.right = units(r.left + p.printWidthCm * sx);
  r.bottom = units(r.top + p.printHeightCm * sy);
  return r;
}

}  // namespace velor
