// velor-cli map: the PNG it writes (the picture decoded with Qt, hence here
// among the GUI tests): its size, the alpha map hotter at the back of the
// head than at the front, the same pixels as the map drawing, and one-line
// failures.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include "core/interaction.h"
#include "core/record_file.h"
#include "core/study_state.h"
#include "eeg/maps.h"
#include "eeg/ui/map_render.h"
#include "tests/test_support.h"
#include "tools/demo_study.h"

namespace velor {
namespace {

using test::TempDir;

// velor-cli beside the test binary's directory (the build directory).
std::string cliPath() {
  return QFileInfo(QCoreApplication::applicationDirPath() + "/../velor-cli").absoluteFilePath().toStdString();
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

CliRun cli(const std::string& args) {
  CliRun r;
  r.status = test::runCommand("'" + cliPath() + "' " + args, &r.out, &r.err);
  return r;
}

// A demo study of `records` records of `seconds` s written into `dir`.
std::string demoStudy(const TempDir& dir, const std::string& name, int records, int seconds) {
  const std::string path = dir.file(name);
  DemoStudyOptions o;
  o.records = records;
  o.seconds = seconds;
  StudyState s;
  NoProgress progress;
  std::string reason;
  EXPECT_TRUE(writeDemoStudy(s, path, o, progress, reason)) << reason;
  return path;
}

// The hotness of a colour on the map scale: its level.
int level(QRgb c) {
  for (int l = 0; l < 64; ++l) {
    const MapRgb m = mapLevelColour(l, true);
    if (m.r == qRed(c) && m.g == qGreen(c) && m.b == qBlue(c)) return l;
  }
  return -1;
}

TEST(CliMap, AlphaBandMapOfTheDemoStudy) {
  if (!QFileInfo::exists(QString::fromStdString(cliPath()))) GTEST_SKIP() << "velor-cli not built";
  TempDir dir;
  const std::string study = demoStudy(dir, "demo.cad", 2, 8);
  ASSERT_FALSE(::testing::Test::HasFailure());
  const std::string png = dir.file("alpha.png");
  const CliRun r = cli("map '" + study + "' --png '" + png + "' --measure band --band 3 --record 2 --size 300");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.err.empty()) << r.err;
  QImage picture(QString::fromStdString(png));
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.size(), QSize(300, 300));
  // where the map view puts the occipital and frontal midline
  StudyState s;
  const MapView v = fittedMapView(s, QSize(300, 300));
  const int back = level(picture.pixel(electrodePixel(v, 31, 54) + QPoint(0, 2)));
  const int front = level(picture.pixel(electrodePixel(v, 31, 10) + QPoint(0, 2)));
  ASSERT_GE(back, 0);
  ASSERT_GE(front, 0);
  EXPECT_GT(back, front + 5);

  // the amplitude and spectrum maps too
  for (const char* measure : {"amplitude", "spectrum"}) {
    const CliRun m = cli("map '" + study + "' --png '" + dir.file("m.png") + "' --measure " + measure);
    EXPECT_EQ(m.status, 0) << measure << ": " << m.err;
    EXPECT_EQ(QImage(QString::fromStdString(dir.file("m.png"))).size(), QSize(400, 400));
  }
}

// A record with no channel on the head (every channel of a non-EEG kind)
// has no map: velor-cli says so with status 1 instead of drawing an empty head.
TEST(CliMap, RecordWithoutPlacedChannelsIsRefused) {
  if (!QFileInfo::exists(QString::fromStdString(cliPath()))) GTEST_SKIP() << "velor-cli not built";
  TempDir dir;
  const std::string study = demoStudy(dir, "kinds.cad", 1, 4);
  ASSERT_FALSE(::testing::Test::HasFailure());
  {
    StudyState s;
    ScriptedInteraction ui;
    ASSERT_TRUE(openRecordFile(s, study, ui));
    for (int c = 0; c < s.channelCount; ++c) s.channelPosX[static_cast<std::size_t>(c)] = 255;
    ASSERT_TRUE(rewriteHeader(s, ui));
    closeRecordFile(s);
  }
  const std::string png = dir.file("none.png");
  for (const char* measure : {"amplitude", "spectrum", "band"}) {
    const CliRun r = cli("map '" + study + "' --png '" + png + "' --measure " + measure);
    EXPECT_EQ(r.status, 1) << measure;
    EXPECT_NE(r.err.find("no channel has a position on the head"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(png)));
  }
}

TEST(CliMap, FailuresAreOneLineAndLeaveNoPicture) {
  if (!QFileInfo::exists(QString::fromStdString(cliPath()))) GTEST_SKIP() << "velor-cli not built";
  TempDir dir;
  const std::string png = dir.file("x.png");
  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"map '" + dir.file("missing.cad") + "' --png '" + png + "'", 1},
      {"map '" + dir.file("missing.cad") + "' --png '" + png + "' --measure power", 2},
      {"map '" + dir.file("missing.cad") + "' --png '" + png + "' --size 10", 2},
      {"map '" + dir.file("missing.cad") + "' --png '" + png + "' --measure spectrum --frequency nan", 2},
      {"map '" + dir.file("missing.cad") + "' --png '" + png + "' --measure spectrum --frequency inf", 2},
      {"map '" + dir.file("missing.cad") + "' --png '" + png + "' --measure spectrum --frequency -3", 2},
  };
  test::writeBytes(dir.file("missing.cad"), "not a record file at all, just some text to read");
  for (const Case& c : cases) {
    const CliRun r = cli(c.args);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(png)));
  }
}

// The picture goes through a fresh temporary name: a link planted at a fixed
// temporary name is not followed, and a write that fails part-way (here a
// file size limit standing in for a full disk) is refused with its reason
// and status 1, leaving neither picture nor temporary file.
TEST(CliMap, WritesAreCheckedAndFollowNoPlantedLink) {
  if (!QFileInfo::exists(QString::fromStdString(cliPath()))) GTEST_SKIP() << "velor-cli not built";
  TempDir dir;
  const std::string study = demoStudy(dir, "demo.cad", 1, 4);
  ASSERT_FALSE(::testing::Test::HasFailure());
  const std::string png = dir.file("out.png");
  const std::string victim = dir.file("victim.txt");
  test::writeBytes(victim, "keep me");
  ASSERT_EQ(::symlink(victim.c_str(), (png + ".part").c_str()), 0);
  const CliRun r = cli("map '" + study + "' --png '" + png + "' --measure amplitude");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::readBytes(victim), "keep me");
  EXPECT_FALSE(QImage(QString::fromStdString(png)).isNull());

  const std::string cut = dir.file("cut.png");
  const CliRun full = cli("map '" + study + "' --png '" + cut + "' --measure amplitude --size 1000");
  ASSERT_EQ(full.status, 0) << full.err;
  ASSERT_GT(QFileInfo(QString::fromStdString(cut)).size(), 8 * 1024);
  QFile::remove(QString::fromStdString(cut));
  CliRun limited;
  limited.status = test::runCommand("trap '' XFSZ; ulimit -f 8; '" + cliPath() + "' map '" + study + "' --png '" + cut +
                                        "' --measure amplitude --size 1000",
                                    &limited.out, &limited.err);
  EXPECT_EQ(limited.status, 1) << limited.err;
  EXPECT_NE(limited.err.find("cannot write " + cut + ": "), std::string::npos) << limited.err;
  EXPECT_EQ(limited.err.find('\n'), limited.err.size() - 1) << limited.err;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(cut)));
  const QStringList left = QDir(QString::fromStdString(dir.path())).entryList(QStringList() << "cut.png*", QDir::Files | QDir::Hidden);
  EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();

  const CliRun above = cli("map '" + study + "' --png '" + cut + "' --measure spectrum --frequency 100000");
  EXPECT_EQ(above.status, 2) << above.err;
  EXPECT_NE(above.err.find("--frequency must lie within 0 .. "), std::string::npos) << above.err;
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(cut)));

  const CliRun missing = cli("map '" + study + "' --png '" + dir.file("no/such/x.png") + "' --measure amplitude");
  EXPECT_EQ(missing.status, 1) << missing.err;
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace velor
