// A main window started as the workstation starts on a device kind of
// "Vlr.ini" (`kindText`, set in a derived constructor), ready once its
// acquisition device is open; an examination still running is stopped before
// the window closes.
#pragma once

#include <gtest/gtest.h>

#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "core/settings.h"
#include "shell/ui/acquisition_wiring.h"
#include "shell/ui/exam_wiring.h"
#include "shell/ui/main_window.h"
#include "tests/test_support.h"

namespace velor::shell::test_exam {

class ExamWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    s.programDir = dir.path() + "/";
    s.dataDir = s.programDir;
    std::vector<std::string> lines(kMainSettingsLines);
    const char* values[] = {"", "Arial", "10", "0", "0", "System", "10", "", "", "0", "0",
                            "0", "0", "1000", "700", "3", "0", "0", "0", "1", "4"};
    for (int i = 0; i < kMainSettingsLines; ++i) lines[static_cast<std::size_t>(i)] = values[i];
    lines[20] = kindText;
    ASSERT_TRUE(writeTextLines(s.programDir + "Vlr.ini", lines));
    window = std::make_unique<MainWindow>(s, ui);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return acquisitionDevice(*window) != nullptr; }, 5000));
  }
  void TearDown() override {
    if (window) {
      stopExamination(*window);
      window->close();
    }
  }
  std::string kindText = "4";  // the device kind in Vlr.ini
  test::TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  std::unique_ptr<MainWindow> window;
};

}  // namespace velor::shell::test_exam
