// Whole-file writes through a temporary name: leftovers of a killed writer
// are cleaned on the next write to the same target, and nothing else is.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "core/binio.h"
#include "core/checked_write.h"
#include "test_support.h"

namespace velor {
namespace {

using test::TempDir;
namespace fs = std::filesystem;

void ageByMinutes(const std::string& path, int minutes) {
  fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(minutes));
}

TEST(AtomicWrite, StaleTemporariesOfTheSameTargetAreRemoved) {
  TempDir dir;
  const std::string target = dir.file("out.cad");
  struct Case {
    std::string name;
    int ageMinutes;
    bool removed;
  } cases[] = {
      {"out.cad.tmp0123abcd", 5, true},    // a killed writer's leftover
      {"out.cad.tmp89abcdef", 0, false},   // may be a write still in progress
      {"out.cad.tmp0123abc", 5, false},    // not our naming: seven digits
      {"out.cad.tmp0123ABCD", 5, false},   // not our naming: upper case
      {"out.cad.tmp0123abcdx", 5, false},  // not our naming: trailing text
      {"other.cad.tmp0123abcd", 5, false}, // another target's
      {"out.cad.part", 5, false},
  };
  for (const Case& c : cases) {
    test::writeBytes(dir.file(c.name), "leftover");
    ageByMinutes(dir.file(c.name), c.ageMinutes);
  }
  ASSERT_TRUE(writeFileAtomically(target, "new"));
  EXPECT_EQ(test::readBytes(target), "new");
  for (const Case& c : cases) EXPECT_EQ(fs::exists(dir.file(c.name)), !c.removed) << c.name;
}

TEST(AtomicWrite, FailureSaysWhy) {
  TempDir dir;
  std::string reason;
  EXPECT_FALSE(writeFileAtomically(dir.file("no/such/x.bin"), "data", reason));
  EXPECT_EQ(reason, "the folder " + dir.file("no/such") + " does not exist");
  reason.clear();
  EXPECT_TRUE(writeFileAtomically(dir.file("x.bin"), "data", reason));
  EXPECT_EQ(test::readBytes(dir.file("x.bin")), "data");
}

}  // namespace
}  // namespace velor
