// The look every dialog shares: a blue panel, green group boxes with black
// captions. The three colours live here so that all windows agree.
#pragma once

#include <QColor>
#include <QWidget>

namespace velor {

QColor dialogPanelColour();
QColor dialogGroupColour();
QColor dialogGroupFontColour();

// Paints the widget's panel and every group box inside it.
void applyDialogLook(QWidget* dialog);

}  // namespace velor
