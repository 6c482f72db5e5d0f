#include "shell/ui/annotation_wiring.h"

#include <QPointer>

#include "interchange/edf.h"
#include "interchange/ui/annotation_list_dialog.h"
#include "interchange/ui/annotation_list_texts.h"
#include "shell/ui/main_window.h"
#include "viewer/record_edit.h"

namespace velor::shell {

using namespace annotation_list_text;

AnnotationListDialog* showAnnotationList(MainWindow& window, StudyState& s, Interaction& ui) {
  if (!edfIsOpen(s)) {
    ui.message(kNoEdfOpen);
    return nullptr;
  }
  std::vector<EdfAnnotation> all;
  std::string reason;
  if (!edfFileAnnotations(s, all, reason)) {
    ui.message(kCannotReadPrefix + reason + ".");
    return nullptr;
  }
  if (all.empty()) {
    ui.message(kNoAnnotations);
    return nullptr;
  }
  // one list per main window; a new showing reads the file again (marks written since are in it)
  auto* old = window.findChild<AnnotationListDialog*>(QString(), Qt::FindDirectChildrenOnly);
  if (old) {
    old->close();
    old->deleteLater();
  }
  auto* list = new AnnotationListDialog(std::move(all), &window);
  list->setAttribute(Qt::WA_DeleteOnClose);
  QPointer<MainWindow> w(&window);
  QObject::connect(list, &AnnotationListDialog::annotationChosen, &window,
                   [w, &s, &ui](const EdfAnnotation& a) {
                     if (!w) return;
                     goToAnnotation(s, a.page, a.sample, ui);
                     w->refreshMonitor(true);
                   });
  list->show();
  list->raise();
  return list;
}

}  // namespace velor::shell
