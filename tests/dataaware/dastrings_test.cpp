#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classes.h"
#include "dafilterparser.h"
#include "dastacks.h"
#include "dastrings.h"
#include "formatsettings.h"

TEST(DaStrings, ExtractItem) {
  struct Case {
    std::string text, delimiter;
    int position;
    std::string item;
    int after;
  };
  const Case cases[] = {
      {"a.b", ".", 1, "a", 3},
      {"a.b", ".", 3, "b", -1},
      {"a.b", ".", 0, "", 0},
      {"a.b", ".", -1, "", -1},
      {"a.b", ".", 4, "", -1},
      {".b", ".", 1, "", 2},
      {"A;b", ";", 1, "A", 3},
      {"aXb", "x", 1, "aXb", -1},  // one character: case matters
      // A word is padded with blanks and found ignoring case.
      {"Qty and Price", "AND", 1, "Qty", 9},
      {"Qty AND Price", "and", 9, "Price", -1},
      {"Brand", "AND", 1, "Brand", -1},
      {"čaj;šola", ";", 1, "čaj", 6},
      {"čaj;šola", ";", 6, "šola", -1},
  };
  for (const Case& c : cases) {
    int pos = c.position;
    EXPECT_EQ(ExtractItem(c.text, c.delimiter, pos), c.item) << c.text << " @" << c.position;
    EXPECT_EQ(pos, c.after) << c.text << " @" << c.position;
  }
}

TEST(DaStrings, SplitToList) {
  struct Case {
    std::string text, separator;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"a;b;c", ";", {"a", "b", "c"}},
      {"", ";", {""}},
      {"a;", ";", {"a", ""}},
      {";", ";", {"", ""}},
      {"abc", ";", {"abc"}},
      {"aČbČc", "Č", {"a", "b", "c"}},  // a separator beyond ASCII is skipped whole
  };
  TStringList list;
  list.Add("left over");
  for (const Case& c : cases) {
    SplitToList(c.text, c.separator, &list);
    std::vector<std::string> got;
    for (int i = 0; i < list.Count(); ++i) got.push_back(list[i]);
    EXPECT_EQ(got, c.items) << c.text;
  }
}

TEST(DaStrings, StripTrailingCharsAndCaseInsensitiveEquality) {
  std::string s = "Value;; \t";
  StripTrailingChars(s, "; \t");
  EXPECT_EQ(s, "Value");
  s = ";;;";
  StripTrailingChars(s, ";");
  EXPECT_EQ(s, "");
  s = "Koš žž";
  StripTrailingChars(s, "ž ");  // whole characters, never a part of one
  EXPECT_EQ(s, "Koš");
  s = "abc";
  StripTrailingChars(s, "");
  EXPECT_EQ(s, "abc");

  EXPECT_TRUE(TextsEqualIgnoreCase("čšž abc", "ČŠŽ ABC"));
  EXPECT_FALSE(TextsEqualIgnoreCase("čaj", "caj"));
  EXPECT_TRUE(TextsEqualIgnoreCase("", ""));
}

TEST(DaStrings, IsValidFloat) {
  struct Case {
    std::string text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"1x", false},
      {"1.5", true},
      {"-2", true},
      {"1,5", false},
      {"abc", false},
      // Only the first 63 characters count.
      {std::string(63, '1') + "x", true},
      {std::string(62, '1') + "x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidFloat(c.text), c.valid) << c.text;
  FormatSettings().DecimalSeparator = ',';
  EXPECT_TRUE(IsValidFloat("1,5"));
  EXPECT_FALSE(IsValidFloat("1.5"));
  FormatSettings() = TFormatSettings{};
}

TEST(DaStacks, PushPopAndEmptyPops) {
  TStackStr s;
  EXPECT_EQ(s.Pop(), "");
  s.Push("a");
  s.Push("b");
  EXPECT_EQ(s.Count(), 2);
  EXPECT_EQ(s.Pop(), "b");
  EXPECT_EQ(s.Pop(), "a");
  EXPECT_EQ(s.Count(), 0);

  TStackPtr p;
  EXPECT_EQ(p.Pop(), nullptr);
  TNode a(nkOperand, "A"), b(nkOperand, "B");
  p.Push(&a);
  p.Push(&b);
  EXPECT_EQ(p.Count(), 2);
  EXPECT_EQ(p.Pop(), &b);
  EXPECT_EQ(p.Pop(), &a);
  EXPECT_EQ(p.Pop(), nullptr);
}
