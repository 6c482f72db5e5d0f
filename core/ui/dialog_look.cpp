#include "core/ui/dialog_look.h"

#include <QGroupBox>
#include <QPalette>

namespace velor {

// Light tones, so that black text stays readable on both.
QColor dialogPanelColour() { return QColor(176, 196, 232); }
QColor dialogGroupColour() { return QColor(184, 224, 184); }
QColor dialogGroupFontColour() { return QColor(0, 0, 0); }

void applyDialogLook(QWidget* dialog) {
  if (!dialog) return;
  QPalette p = dialog->palette();
  p.setColor(QPalette::Window, dialogPanelColour());
  dialog->setPalette(p);
  dialog->setAutoFillBackground(true);
  for (auto* g : dialog->findChildren<QGroupBox*>()) {
    QPalette gp = g->palette();
    gp.setColor(QPalette::Window, dialogGroupColour());
    gp.setColor(QPalette::WindowText, dialogGroupFontColour());
    g->setPalette(gp);
    g->setAutoFillBackground(true);
  }
}

}  // namespace velor
