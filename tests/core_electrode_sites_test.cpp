#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/electrode_sites.h"
#include "core/study_state.h"

namespace velor {
namespace {

// Labels as recordings of other systems write them, and where each goes.
TEST(ElectrodeSites, LabelsPlaceChannelsOnTheHeadOrGiveTheirKind) {
  struct Case {
    const char* label;
    const char* site;  // nullptr: not an electrode
    int kind;          // channelPosX of a non-EEG kind; 0 for EEG; -1 when nothing is known
  };
  const Case cases[] = {
      {"EEG Fp1", "Fp1", 0},        {"Fp1-REF", "Fp1", 0},     {"FP1", "Fp1", 0},
      {"EEG F3-A1", "F3", 0},       {"Fp1.", "Fp1", 0},        {"  cz  ", "Cz", 0},
      {"EEG A2-A1", "A2", 0},       {"EEG-O2", "O2", 0},       {"POz", "POz", 0},
      {"ECG ECG", nullptr, kKindEcg}, {"EKG", nullptr, kKindEcg}, {"ECG II", nullptr, kKindEcg},
      {"EOG left", nullptr, kKindEog}, {"EMG chin", nullptr, kKindEmg}, {"Resp chest", nullptr, kKindBreathing},
      {"Status", nullptr, -1},      {"E17", nullptr, -1},      {"", nullptr, -1},
      {"EEG", nullptr, -1},         {"-Fp1", nullptr, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const auto site = electrodeSiteOfLabel(c.label);
    const auto place = placeOfLabel(c.label);
    if (c.site) {
      ASSERT_TRUE(site.has_value());
      EXPECT_STREQ(site->name, c.site);
      ASSERT_TRUE(place.has_value());
      EXPECT_TRUE(place->eeg);
      EXPECT_EQ(place->posX, site->x);
      EXPECT_EQ(place->posY, site->y);
    } else if (c.kind > 0) {
      EXPECT_FALSE(site.has_value());
      ASSERT_TRUE(place.has_value());
      EXPECT_FALSE(place->eeg);
      EXPECT_EQ(place->posX, c.kind);
    } else {
      EXPECT_FALSE(place.has_value());
    }
  }
}

// The scheme must keep the head's geometry: the old and new names of a site
// coincide, left sites lie left of the midline, front ones above the back
// ones, and every site is drawn on the scheme as an EEG channel.
TEST(ElectrodeSites, SitesKeepTheHeadsGeometry) {
  std::set<std::string> names;
  for (const ElectrodeSite& s : electrodeSites()) {
    EXPECT_TRUE(names.insert(s.name).second) << s.name;
    EXPECT_GE(s.x, 0);
    EXPECT_LE(s.x, 62);
    EXPECT_GE(s.y, 0);
    EXPECT_LE(s.y, 62);
    const std::string n = s.name;
    const char last = n.back();
    if (last == 'z') {
      EXPECT_EQ(s.x, 31) << n;
    } else if (last >= '0' && last <= '9') {
      const bool odd = (last - '0') % 2 == 1;
      EXPECT_EQ(odd, s.x < 31) << n;  // odd numbers on the left
    }
  }
  for (const auto& [oldName, newName] : {std::pair{"T3", "T7"}, {"T4", "T8"}, {"T5", "P7"}, {"T6", "P8"}}) {
    EXPECT_EQ(electrodeSiteNamed(oldName)->x, electrodeSiteNamed(newName)->x);
    EXPECT_EQ(electrodeSiteNamed(oldName)->y, electrodeSiteNamed(newName)->y);
  }
  EXPECT_LT(electrodeSiteNamed("Fpz")->y, electrodeSiteNamed("Fz")->y);
  EXPECT_LT(electrodeSiteNamed("Fz")->y, electrodeSiteNamed("Cz")->y);
  EXPECT_LT(electrodeSiteNamed("Cz")->y, electrodeSiteNamed("Pz")->y);
  EXPECT_LT(electrodeSiteNamed("Pz")->y, electrodeSiteNamed("Oz")->y);
}

}  // namespace
}  // namespace velor
