#include "viewer/ui/record_print.h"

#include <QFont>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <algorithm>

#include "results/ui/print_target.h"
#include "viewer/monitor.h"
#include "viewer/ui/monitor_widget.h"

namespace velor {

namespace {

QFont printFont(const StudyState& s) {
  QFont f(QString::fromStdString(s.textFont.name.empty() ? std::string("Times New Roman") : s.textFont.name));
  f.setPointSize(std::clamp(s.textFont.size > 0 ? s.textFont.size : 10, 6, 48));
  f.setBold(s.textFont.bold);
  return f;
}

}  // namespace

std::optional<RecordPage> takeRecordPage(MonitorWidget& monitor, StudyState& s, Interaction& ui,
                                         const std::function<std::optional<PrintSettings>()>& askSettings) {
  if (s.acquisitionActive != 0) return std::nullopt;
  RecordPage page;
  if (isEcgRecord(s) && ui.ask(kEcgPrintQuestion)) {
    page.clinicalEcg = true;
    page.portrait = true;
    const int zoom = s.timeZoom, gain = s.gainStep;
    page.ecgGain = ecgGainStep(s);
    s.timeZoom = 0;
    s.gainStep = page.ecgGain;
    monitor.redraw();
    // the last four seconds of what the monitor shows
    const int m = ecgPrintColumns(s);
    page.picture = monitor.surface().copy(std::max(0, s.monitorWidth - m), 0, m, s.monitorHeight);
    s.timeZoom = zoom;
    s.gainStep = gain;
    monitor.redraw();
  } else {
    if (!askSettings) return std::nullopt;
    const auto settings = askSettings();
    if (!settings) return std::nullopt;
    page.settings = *settings;
    page.portrait = printsPortrait(*settings);
    // what the window shows, without the scroll bars
    page.picture = monitor.surface().copy(monitor.drawingRect());
  }
  page.header = QString::fromStdString(patientLine(s)) + QLatin1Char('\n') + QString::fromStdString(composeMonitorCaption(s));
  return page;
}

PageRect recordPageRect(const RecordPage& page, const StudyState& s, int pageWidth, int pageHeight) {
  if (page.clinicalEcg) return ecgPrintRect(s, page.ecgGain, pageWidth, pageHeight);
  return recordPrintRect(page.settings, pageWidth, page.picture.width(), page.picture.height());
}

void paintRecordPage(QPainter& p, const RecordPage& page, const StudyState& s, int pageWidth, int pageHeight) {
  const PageRect r = recordPageRect(page, s, pageWidth, pageHeight);
  paintPrintedPicture(p, page.picture, QRect(r.left, r.top, r.width(), r.height()), page.header, s, pageWidth, pageHeight);
}

QRect paintPrintedPicture(QPainter& p, const QImage& picture, QRect place, const QString& header, const StudyState& s,
                          int pageWidth, int pageHeight) {
  p.save();
  p.setFont(printFont(s));
  const QFontMetrics fm(p.font(), p.device());
  const int gap = std::max(1, fm.height() / 4);
  const int textLeft = std::clamp(place.left(), 0, std::max(0, pageWidth - 1));
  const int textWidth = std::max(1, pageWidth - textLeft);
  constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
  const int textHeight = header.isEmpty() ? 0 : fm.boundingRect(QRect(0, 0, textWidth, 1 << 24), kFlags, header).height();
  // above the picture when the sheet leaves room there, else below it
  const bool above = textHeight > 0 && place.top() >= textHeight + gap;
  const int lowest = above || textHeight == 0 ? pageHeight : pageHeight - gap - textHeight;
  // a place running off the page (a tall drawing at the full width, a large
  // size or offset in the settings) is made smaller rather than cut
  double k = 1.0;
  if (place.width() > 0 && place.left() + place.width() > pageWidth && pageWidth > place.left())
    k = std::min(k, static_cast<double>(pageWidth - place.left()) / place.width());
  if (place.height() > 0 && place.top() + place.height() > lowest && lowest > place.top())
    k = std::min(k, static_cast<double>(lowest - place.top()) / place.height());
  if (k < 1.0)
    place.setSize(QSize(std::max(1, static_cast<int>(place.width() * k)), std::max(1, static_cast<int>(place.height() * k))));
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (!picture.isNull() && place.width() > 0 && place.height() > 0) p.drawImage(place, picture);
  if (textHeight > 0) {
    p.setPen(Qt::black);
    const int y = above ? place.top() - gap - textHeight : place.bottom() + 1 + gap;
    p.drawText(QRect(textLeft, y, textWidth, textHeight), kFlags, header);
  }
  p.restore();
  return place;
}

bool printRecord(MonitorWidget& monitor, StudyState& s, Interaction& ui,
                 const std::function<std::optional<PrintSettings>()>& askSettings, PrintTarget& target) {
  const auto page = takeRecordPage(monitor, s, ui, askSettings);
  if (!page) return false;
  QPaintDevice* device = target.begin(page->portrait);
  if (!device) return false;
  {
    QPainter p;
    if (!p.begin(device)) {
      target.finish();
      ui.message("Печать не удалась: принтер не принимает страницу.");
      return false;
    }
    paintRecordPage(p, *page, s, device->width(), device->height());
    p.end();
  }
  if (!target.finish()) {
    ui.message("Печать не удалась: страница не записана.");
    return false;
  }
  return true;
}

}  // namespace velor
