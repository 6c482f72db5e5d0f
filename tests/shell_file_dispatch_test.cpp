// The open and save dispatch by file kind: the table every subsystem fills,
// the windows' registrations that answer before it, and the one message for
// a kind or extension that nothing reads or writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/file_kinds.h"
#include "core/interaction.h"
#include "core/study_state.h"
#include "shell/file_dispatch.h"
#include "test_support.h"

namespace velor {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

TEST(FileDispatch, NothingRegisteredGivesTheOneMessageAndChangesNothing) {
  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  const test::StudySnapshot before(s);
  struct Case {
    FileKind kind;
    const char* file;
    bool save;
    const char* message;
  };
  // kinds with no reader or writer, a number that is no kind, extensions the
  // record kind does not take, and a name without an extension
  const Case cases[] = {
      {FileKind::PairGrid, "a.csg", false, "Чтение (сетка пар отведений, .csg) пока недоступно в этой версии программы."},
      {FileKind::Records, "a.BMP", true, "Запись (графический файл, .bmp) пока недоступно в этой версии программы."},
      {FileKind{14}, "x.dat", false, "Чтение (файлы этого вида, .dat) пока недоступно в этой версии программы."},
      {FileKind::SideWindow, "a.bmp", true, "Запись (графический файл, .bmp) пока недоступно в этой версии программы."},
      {FileKind::ExamHeader, "a.cad", true, "Запись (файлы этого вида, .cad) пока недоступно в этой версии программы."},
      {FileKind::GraphText, "graph", true, "Запись (график в тексте) пока недоступно в этой версии программы."},
      {FileKind::Picture, "a.bmp", false, "Чтение (графический файл, .bmp) пока недоступно в этой версии программы."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " kind " + std::to_string(fileKindNumber(c.kind)));
    const std::string path = dir.file(c.file);
    writeBytes(path, "data");
    ui.messages.clear();
    EXPECT_FALSE(c.save ? saveFile(s, c.kind, path, ui) : openFile(s, c.kind, path, ui));
    EXPECT_EQ(ui.messages, std::vector<std::string>{c.message});
    EXPECT_TRUE(test::StudySnapshot(s) == before);
    EXPECT_EQ(readBytes(path), "data");
  }
}

TEST(FileDispatch, AWindowRegistrationAnswersBeforeTheTableWhileItExists) {
  TempDir dir;
  StudyState s;
  ScriptedInteraction ui;
  const std::string txt = dir.file("values.txt"), bmp = dir.file("values.bmp");
  std::vector<std::string> taken;
  {
    FileKindRegistration window(FileKind::SideWindow, true, [&](StudyState&, const std::string& path, Interaction&) {
      taken.push_back(path);
      return true;
    });
    EXPECT_TRUE(saveFile(s, FileKind::SideWindow, txt, ui));
    EXPECT_TRUE(saveFile(s, FileKind::SideWindow, bmp, ui));
    // a registration for saving does not open
    EXPECT_FALSE(openFile(s, FileKind::SideWindow, txt, ui));
  }
  EXPECT_EQ(taken, (std::vector<std::string>{txt, bmp}));
  EXPECT_EQ(ui.messages.size(), 1u);
  // without the window the table's text writer takes the table, and a picture is not available
  ui.messages.clear();
  EXPECT_TRUE(saveFile(s, FileKind::SideWindow, txt, ui));
  EXPECT_FALSE(readBytes(txt).empty());
  EXPECT_FALSE(saveFile(s, FileKind::SideWindow, bmp, ui));
  EXPECT_EQ(taken.size(), 2u);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find(".bmp"), std::string::npos);
}

TEST(FileKindTable, AnEntryNamingTheExtensionComesBeforeOneTakingTheRest) {
  FileKindTable table;
  std::string used;
  auto handler = [&used](const char* name) {
    return [&used, name](StudyState&, const std::string&, Interaction&) {
      used = name;
      return true;
    };
  };
  // the entry taking the rest is added first; order must not matter
  table.add({FileKind::Records, false, {}, {".bmp"}, handler("rest")});
  table.add({FileKind::Records, false, {".edf", ".bdf"}, {}, handler("edf")});
  table.add({FileKind::Records, true, {".edf"}, {}, handler("export")});
  StudyState s;
  ScriptedInteraction ui;
  auto run = [&](bool saving, const char* ext) -> std::string {
    used.clear();
    const FileKindHandler* h = table.find(FileKind::Records, saving, ext);
    if (!h) return "none";
    (*h)(s, "", ui);
    return used;
  };
  EXPECT_EQ(run(false, ".bdf"), "edf");
  EXPECT_EQ(run(false, ".cnt"), "rest");
  EXPECT_EQ(run(false, ""), "rest");
  EXPECT_EQ(run(false, ".bmp"), "none");
  EXPECT_EQ(run(true, ".edf"), "export");
  EXPECT_EQ(run(true, ".txt"), "none");
  EXPECT_EQ(table.find(FileKind::Text, false, ".edf"), nullptr);
}

}  // namespace
}  // namespace velor
