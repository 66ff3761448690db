#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "dapicturevalidator.h"

namespace {

struct MaskCase {
  const char* mask;
  const char* text;
  bool fill;
  PictureResult result;
  const char* after;  // the text afterwards
};

const char* Name(PictureResult r) {
  switch (r) {
    case prComplete: return "complete";
    case prIncomplete: return "incomplete";
    case prEmpty: return "empty";
    case prError: return "error";
    case prSyntax: return "syntax";
    default: return "internal";
  }
}

}  // namespace

TEST(PictureMask, Cases) {
  const MaskCase cases[] = {
      // digits and literals
      {"###-####", "555-1234", false, prComplete, "555-1234"},
      {"###-####", "555", false, prIncomplete, "555"},
      {"###-####", "555", true, prIncomplete, "555-"},
      {"###-####", "5551234", false, prError, "5551234"},
      {"###-####", "555 ", false, prIncomplete, "555-"},  // a last blank stands for the literal
      {"##", "123", false, prError, "123"},               // longer than the mask allows
      {"AB-#", "ab-1", false, prComplete, "AB-1"},        // the mask decides the case
      // letters, Slovenian ones included, and case changes by character
      {"&&&", "abc", false, prComplete, "ABC"},
      {"&&&", "ab1", false, prError, "AB1"},
      {"&&&", "čšž", false, prComplete, "ČŠŽ"},
      {"~~~", "ČŠŽ", false, prComplete, "čšž"},
      {"??", "đć", false, prComplete, "đć"},
      {"?", "€", false, prError, "€"},      // Windows-1250 128 is no letter
      {"?", "ж", false, prError, "ж"},      // not in the code page
      {"!!!", "ač1", false, prComplete, "AČ1"},
      {"@@", "č-", false, prComplete, "č-"},
      // Literals compare with ASCII folding only: č does not stand for Č.
      {"Č#", "Č1", false, prComplete, "Č1"},
      {"Č#", "č1", false, prError, "č1"},
      {"ab", "AB", false, prComplete, "ab"},
      {"&*?", "šola", false, prComplete, "Šola"},
      // repetitions
      {"*#", "12", false, prComplete, "12"},
      {"*#", "", false, prEmpty, ""},
      {"*3#", "123", false, prComplete, "123"},
      {"*3#", "12", false, prIncomplete, "12"},
      {"*3#", "1234", false, prError, "1234"},
      {"*2{#-}", "1-2-", false, prComplete, "1-2-"},
      {"*&", "žaba", false, prComplete, "ŽABA"},
      // A star at the end of its part repeats nothing; the text left over is an error.
      {"#*3", "1", false, prIncomplete, "1"},
      {"#*3", "12", false, prError, "12"},
      // optional parts and alternatives
      {"[#]", "x", false, prError, "x"},
      {"[#]", "5", false, prComplete, "5"},
      {"#[-##]", "1", false, prComplete, "1"},
      {"#[-##]", "1-2", false, prIncomplete, "1-2"},
      {"#[-##]", "1-23", false, prComplete, "1-23"},
      {"{A,B}#", "b1", false, prComplete, "B1"},
      {"{A,B}#", "c1", false, prError, "c1"},
      {"{Č,Š}##", "Š12", false, prComplete, "Š12"},
      {"#{[A]B,C}", "1", false, prIncomplete, "1"},  // B or C is still required
      {"#{[A]B,C}", "1AB", false, prComplete, "1AB"},
      {"#{[A]B,C}", "1c", false, prComplete, "1C"},
      {"#[{A,B}]", "1", false, prComplete, "1"},
      // escapes
      {";*#", "*5", false, prComplete, "*5"},
      {";##", "#1", false, prComplete, "#1"},
      {"#;[", "1[", false, prComplete, "1["},
      // auto-fill: literals up to the next class character
      {"(###) ###", "(555", true, prIncomplete, "(555) "},
      {"#-{A}#", "1", true, prIncomplete, "1-"},
      // a fill whose new match fails is taken back
      {"*{AB}C", "A", true, prIncomplete, "A"},
      // and so is one that leaves characters over
      {"*{A-}A", "AA", false, prError, "AA"},
      {"*{A-}A", "A", true, prIncomplete, "A"},
      {"{*}#AA", "1AA", false, prError, "1AA"},  // the star takes the closing brace
      {"{*}#AA", "1", true, prIncomplete, "1"},
      // malformed masks
      {"", "1", false, prSyntax, "1"},
      {"#;", "1", false, prSyntax, "1"},
      {"#*", "1", false, prSyntax, "1"},
      {"[#", "1", false, prSyntax, "1"},
      {"{#", "1", false, prSyntax, "1"},
      {"#]", "1", false, prSyntax, "1"},
      {"*70000#", "1", false, prSyntax, "1"},  // count beyond 16 bits
      {"#", "", false, prEmpty, ""},
  };
  for (const MaskCase& c : cases) {
    TdaPictureValidator v(c.mask, false);
    std::string text = c.text;
    const PictureResult r = v.Picture(text, c.fill);
    EXPECT_STREQ(Name(r), Name(c.result)) << "mask " << c.mask << " text " << c.text;
    EXPECT_EQ(text, c.after) << "mask " << c.mask << " text " << c.text;
  }
}

TEST(PictureMask, StatusAndTheThreeChecks) {
  TdaPictureValidator bad("[#", true);
  EXPECT_EQ(bad.Status(), 1);
  EXPECT_EQ(bad.Options(), 1);
  TdaPictureValidator good("###-####", true);
  EXPECT_EQ(good.Status(), 0);
  EXPECT_EQ(good.Mask(), "###-####");

  std::string t = "555";
  EXPECT_TRUE(good.IsValidInput(t, false));  // incomplete is still valid input
  EXPECT_EQ(t, "555-");                      // filled
  t = "555";
  EXPECT_TRUE(good.IsValidInput(t, true));   // fill suppressed
  EXPECT_EQ(t, "555");
  t = "55x";
  EXPECT_FALSE(good.IsValidInput(t, false));

  EXPECT_TRUE(good.IsValid("555-1234"));
  EXPECT_TRUE(good.IsValid(""));
  EXPECT_FALSE(good.IsValid("555"));  // incomplete
  EXPECT_FALSE(good.IsValid("x"));

  TdaPictureValidator none("", false);  // no mask: everything passes
  EXPECT_EQ(none.Status(), 1);
  t = "anything";
  EXPECT_TRUE(none.IsValidInput(t, false));
  EXPECT_TRUE(none.IsValid("anything"));
}

TEST(PictureMask, InvalidUtf8BytesComeBackUnchanged) {
  TdaPictureValidator v("*!", false);
  std::string t = "a\xff" "b\xc3";
  EXPECT_EQ(v.Picture(t, false), prComplete);
  EXPECT_EQ(t, "A\xff" "B\xc3");
}

TEST(PictureMask, DeepOrRepeatedMasksEndQuicklyWithoutCrash) {
  // Brackets nested beyond the limit: a syntax error, not a stack overflow.
  std::string deep(5000, '{');
  deep += '#';
  deep += std::string(5000, '}');
  TdaPictureValidator d(deep, false);
  EXPECT_EQ(d.Status(), 1);
  std::string t = "1";
  EXPECT_EQ(d.Picture(t, false), prSyntax);

  // Just within the limit.
  std::string ok(MaxPictureNesting, '[');
  ok += '#';
  ok += std::string(MaxPictureNesting, ']');
  TdaPictureValidator o(ok, false);
  EXPECT_EQ(o.Status(), 0);
  t = "1";
  EXPECT_EQ(o.Picture(t, false), prComplete);

  // A long chain of stars nests the matcher too.
  std::string stars(20000, '*');
  stars += '#';
  TdaPictureValidator s(stars, false);
  t = "1";
  EXPECT_EQ(s.Picture(t, false), prSyntax);

  // A repetition of alternatives that each run to the end of the text before they fail costs
  // the square of its length: a long text is cut off as too costly (syntax) instead of
  // hanging, and keeps its characters; a short text is checked as usual.
  const std::string costly = "*{*#x,#}y";
  TdaPictureValidator c(costly, true);
  EXPECT_EQ(c.Status(), 0);
  t = std::string(100, '1') + "y";
  EXPECT_EQ(c.Picture(t, false), prComplete);
  const auto costlyStart = std::chrono::steady_clock::now();
  const std::string longText = std::string(5000, '1') + "y";
  t = longText;
  EXPECT_EQ(c.Picture(t, false), prSyntax);
  EXPECT_EQ(t, longText);
  t = longText;
  EXPECT_EQ(c.Picture(t, true), prSyntax);
  EXPECT_EQ(t, longText);
  EXPECT_TRUE(c.IsValidInput(t, false));  // only an error is invalid input
  EXPECT_FALSE(c.IsValid(t));
  // A text whose check takes well over half of the allowed steps: the check of the auto-filled
  // text runs over, and the fill is taken back, although the filled text is fine on its own.
  TdaPictureValidator half("*{*#x,#}z-", false);
  const std::string halfText = std::string(600, '1') + "z";
  t = halfText;
  EXPECT_EQ(half.Picture(t, false), prIncomplete);
  t = halfText + "-";
  EXPECT_EQ(half.Picture(t, false), prComplete);
  t = halfText;
  EXPECT_EQ(half.Picture(t, true), prIncomplete);
  EXPECT_EQ(t, halfText);
  EXPECT_LT(std::chrono::steady_clock::now() - costlyStart, std::chrono::seconds(5));

  // Counted repetitions of parts that take nothing stop after the first round.
  const auto start = std::chrono::steady_clock::now();
  TdaPictureValidator r("*65535{*65535{*65535[#]}}x", false);
  t = "x";
  EXPECT_EQ(r.Picture(t, false), prComplete);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
