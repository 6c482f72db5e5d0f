// The examination header dialog's engine: fields in, header out.
#include <gtest/gtest.h>

#include "core/header_form.h"
#include "core/settings.h"
#include "core/study_state.h"
#include "core/text.h"

namespace velor {
namespace {

TEST(HeaderForm, StandardFieldsComposeTheHeaderAtTheirPlaces) {
  HeaderForm f;
  f.fields = {"Фон", "Норма", "Иванов Иван Иванович", "A-17", "01.02.1980", "М", "Эпилепсия"};
  const std::string h = composeHeader(f);
  EXPECT_EQ(utf8Length(h), static_cast<std::size_t>(kHeaderChars));
  EXPECT_EQ(utf8Substr(h, 0, 30), utf8Fit("Фон", 30));
  EXPECT_EQ(utf8Substr(h, 30, 30), utf8Fit("Норма", 30));
  EXPECT_EQ(utf8Substr(h, 60, 30), utf8Fit("Иванов Иван Иванович", 30));
  EXPECT_EQ(utf8Substr(h, 90, 8), utf8Fit("A-17", 8));
  EXPECT_EQ(utf8Substr(h, 98, 10), "01.02.1980");
  EXPECT_EQ(utf8Substr(h, 108, 1), "М");
  EXPECT_EQ(utf8Substr(h, 109, 30), utf8Fit("Эпилепсия", 30));
  EXPECT_EQ(utf8Substr(h, 139), std::string(kHeaderChars - 139, ' '));

  // And back: the form of a header shows the same (trimmed) fields.
  EXPECT_EQ(headerFormFrom(h, false).fields, f.fields);
}

TEST(HeaderForm, OverlongFieldsAreCutToTheirWidth) {
  HeaderForm f;
  const std::string test35 = "Проба с гипервентиляцией и светом!";  // 34 letters + "!"
  f.fields = {test35 + "x", "", "", "123456789", "", "МЖ", ""};
  const HeaderForm back = headerFormFrom(composeHeader(f), false);
  EXPECT_EQ(back.fields[0], utf8Substr(test35 + "x", 0, 30));
  EXPECT_EQ(back.fields[3], "12345678");
  EXPECT_EQ(back.fields[5], "М");
}

TEST(HeaderForm, MissingFieldsAreBlank) {
  HeaderForm f;
  f.fields = {"Фон"};
  const std::string h = composeHeader(f);
  EXPECT_EQ(h, utf8Fit("Фон", kHeaderChars));
}

TEST(HeaderForm, AcceptInGroupLayoutNamesOnlyThePatientChannels) {
  StudyState s;
  s.groupMode = 1;
  s.channelCount = 8;
  for (int c = 0; c < 8; ++c) s.channelNames[static_cast<std::size_t>(c)] = "C" + std::to_string(c);
  HeaderForm f;
  f.groupLayout = true;
  f.fields = {"Петров", "Сидоров", "Ан", "", "Кузнецова", "Орлов", "Велоэргометрия"};
  f.institution = std::string(45, 'I');
  f.department = "Кардиология";
  acceptHeaderForm(s, f);
  EXPECT_EQ(s.channelNames[0], "Пет");
  EXPECT_EQ(s.channelNames[1], "Сид");
  EXPECT_EQ(s.channelNames[2], "Ан");
  EXPECT_EQ(s.channelNames[3], "");
  EXPECT_EQ(s.channelNames[5], "Орл");
  // The seventh field is the test, not a patient: channel 7 keeps its name.
  EXPECT_EQ(s.channelNames[6], "C6");
  EXPECT_EQ(s.channelNames[7], "C7");
  EXPECT_EQ(headerField(s, 7), "Велоэргометрия");
  EXPECT_EQ(headerField(s, 1), "Петров");
  EXPECT_EQ(s.institutionName, std::string(40, 'I'));
  EXPECT_EQ(s.departmentName, "Кардиология");
}

TEST(HeaderForm, AcceptWithFewChannelsNamesOnlyThose) {
  StudyState s;
  s.groupMode = 2;
  s.channelCount = 2;
  s.channelNames[2] = "T3";
  HeaderForm f = headerFormFrom(s);
  ASSERT_TRUE(f.groupLayout);
  f.fields[0] = "Один";
  f.fields[1] = "Два";
  f.fields[2] = "Три";
  acceptHeaderForm(s, f);
  EXPECT_EQ(s.channelNames[0], "Оди");
  EXPECT_EQ(s.channelNames[1], "Два");
  EXPECT_EQ(s.channelNames[2], "T3");
}

TEST(HeaderForm, HistoryItemsAreEditedInPlace) {
  std::vector<std::string> list{"Фон", "Норма"};
  editHistoryItem(list, 1, "Патология", 3);
  EXPECT_EQ(list, (std::vector<std::string>{"Фон", "Патология"}));
  editHistoryItem(list, -1, "Новое", 3);
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(list.back(), "Новое");
  editHistoryItem(list, 7, "Лишнее", 3);  // full: nothing added
  EXPECT_EQ(list.size(), 3u);
}

}  // namespace
}  // namespace velor
