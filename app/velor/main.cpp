// velor: the workstation.
#include <QApplication>
#include <QMainWindow>

#include "core/study_state.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("VELOR");
  velor::StudyState state;
  QMainWindow w;
  w.setWindowTitle("Velor-EEG");
  w.resize(1024, 700);
  w.show();
  return QApplication::exec();
}
