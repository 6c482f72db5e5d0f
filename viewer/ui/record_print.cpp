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
  page.header = QString::fromStdString(composeMonitorCaption(s));
  return page;
}

PageRect recordPageRect(const RecordPage& page, const StudyState& s, int pageWidth, int pageHeight) {
  if (page.clinicalEcg) return ecgPrintRect(s, page.ecgGain, pageWidth, pageHeight);
  return recordPrintRect(page.settings, pageWidth, page.picture.width(), page.picture.height());
}

void paintRecordPage(QPainter& p, const RecordPage& page, const StudyState& s, int pageWidth, int pageHeight) {
  const PageRect r = recordPageRect(page, s, pageWidth, pageHeight);
  const QRect target(r.left, r.top, r.width(), r.height());
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (!page.picture.isNull() && target.width() > 0 && target.height() > 0) p.drawImage(target, page.picture);
  if (!page.header.isEmpty()) {
    p.setFont(printFont(s));
    p.setPen(Qt::black);
    const QFontMetrics fm(p.font(), p.device());
    const int gap = std::max(1, fm.height() / 4);
    const int lineHeight = fm.height();
    // above the picture when the sheet leaves room there, else right below it
    const int y = target.top() >= lineHeight + gap ? target.top() - gap - lineHeight : target.bottom() + 1 + gap;
    const int width = std::max(target.width(), pageWidth - std::max(0, target.left()));
    p.drawText(QRect(std::max(0, target.left()), y, width, lineHeight), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               fm.elidedText(page.header, Qt::ElideRight, width));
  }
  p.restore();
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
