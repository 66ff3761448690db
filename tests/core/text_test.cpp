#include <gtest/gtest.h>

#include "cp1250.h"
#include "text.h"

TEST(Text, CountsAndCutsCharactersNeverBytes) {
  EXPECT_EQ(Utf8Length("Žalec"), 5u);
  EXPECT_EQ(Utf8Length(""), 0u);
  EXPECT_EQ(Utf8Left("Žalec", 3), "Žal");
  EXPECT_EQ(Utf8Left("čšž", 2), "čš");
  EXPECT_EQ(Utf8Left("abc", 10), "abc");
  EXPECT_EQ(Utf8Copy("Čebelica", 2, 3), "ebe");
  EXPECT_EQ(Utf8Copy("ščž€x", 3, 2), "ž€");
  EXPECT_EQ(Utf8Copy("abc", 0, 2), "ab");
  EXPECT_EQ(Utf8Copy("abc", 3, 100), "c");
  EXPECT_EQ(Utf8Copy("abc", 5, 1), "");
  EXPECT_EQ(Utf8Copy("abc", 1, -1), "");
  EXPECT_EQ(Utf8Pos("c", "žabc"), 4u);
  EXPECT_EQ(Pos("c", "žabc"), 5u);
}

TEST(Text, InvalidUtf8CountsByteByByteAndIsNeverSplitFurther) {
  const std::string bad = "a\xC4" "b\xFF";  // a lone lead byte and an impossible byte
  EXPECT_EQ(Utf8Length(bad), 4u);
  EXPECT_EQ(Utf8Left(bad, 2), "a\xC4");
  const std::string cutLead = "\xC5";  // lead byte at the end of the text
  EXPECT_EQ(Utf8Length(cutLead), 1u);
  EXPECT_EQ(Utf8Length("\xC0\x80"), 2u);  // overlong form of NUL is two bad bytes
}

TEST(Text, CaseMapping) {
  struct Case {
    const char* in;
    const char* upper;
    const char* lower;
  };
  const Case ansi[] = {
      {"čšžćđ", "ČŠŽĆĐ", "čšžćđ"},  {"ČŠŽĆĐ", "ČŠŽĆĐ", "čšžćđ"}, {"Žalec 12", "ŽALEC 12", "žalec 12"},
      {"łńőůťďľĺŕěř", "ŁŃŐŮŤĎĽĹŔĚŘ", "łńőůťďľĺŕěř"}, {"äöüéáßÿ", "ÄÖÜÉÁßŸ", "äöüéáßÿ"},
      {"×÷€", "×÷€", "×÷€"},
  };
  for (const auto& c : ansi) {
    EXPECT_EQ(AnsiUpperCase(c.in), c.upper) << c.in;
    EXPECT_EQ(AnsiLowerCase(c.upper), c.lower) << c.in;
  }
  EXPECT_EQ(UpperCase("abc čž"), "ABC čž");  // ASCII only
  EXPECT_EQ(LowerCase("ABC ČŽ"), "abc ČŽ");
}

TEST(Text, Comparisons) {
  EXPECT_TRUE(SameText("Kljuc", "KLJUC"));
  EXPECT_FALSE(SameText("Kljuc", "Kljuc "));
  EXPECT_FALSE(SameText("č", "Č"));
  EXPECT_TRUE(AnsiSameText("čebela", "ČEBELA"));
  EXPECT_FALSE(AnsiSameText("čebela", "cebela"));
  EXPECT_EQ(CompareText("abc", "ABC"), 0);
  EXPECT_LT(CompareText("abc", "abd"), 0);
  EXPECT_GT(CompareText("abcd", "ABC"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_LT(CompareStr("ABC", "abc"), 0);
  EXPECT_EQ(AnsiCompareText("ŽABA", "žaba"), 0);
}

TEST(Text, TrimStripsControlCharactersAndBlanks) {
  EXPECT_EQ(Trim(" \t\r\n abc \x01\n"), "abc");
  EXPECT_EQ(TrimLeft("  ab  "), "ab  ");
  EXPECT_EQ(TrimRight("  ab  "), "  ab");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(" čž "), "čž");  // bytes of non-ASCII characters are above blank
}

TEST(Text, SearchAndBuild) {
  EXPECT_EQ(Pos("lo", "hello"), 4u);
  EXPECT_EQ(Pos("x", "hello"), 0u);
  EXPECT_EQ(Pos("", "hello"), 0u);
  EXPECT_EQ(StringReplace("a,b,c", ",", ".", 0), "a.b,c");
  EXPECT_EQ(StringReplace("a,b,c", ",", "; ", rfReplaceAll), "a; b; c");
  EXPECT_EQ(StringReplace("AbAB", "ab", "x", rfReplaceAll | rfIgnoreCase), "xx");
  EXPECT_EQ(StringReplace("ČAŠA čaša", "ča", "-", rfReplaceAll | rfIgnoreCase), "-ŠA -ša");
  EXPECT_EQ(StringReplace("abc", "", "x", rfReplaceAll), "abc");
  EXPECT_EQ(QuotedStr("O'Brien"), "'O''Brien'");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(IntToHex(31, 2), "1F");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0, 1), "0");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(StringOfChar(' ', 3), "   ");
  EXPECT_EQ(StringOfChar(' ', -1), "");
}

TEST(Text, SplitNonEmptyDropsEmptyPiecesAndKeepsCharactersWhole) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitNonEmpty("\\a\\\\b/c\\", "\\/"), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitNonEmpty("a/b", "\\"), (V{"a/b"}));
  EXPECT_EQ(SplitNonEmpty("Šola\\Čas", "\\"), (V{"Šola", "Čas"}));
  EXPECT_EQ(SplitNonEmpty("", "\\"), V{});
  EXPECT_EQ(SplitNonEmpty("\\\\", "\\"), V{});
}

TEST(Cp1250, KnownCharacters) {
  struct Case {
    const char* utf8;
    const char* cp;
  };
  const Case cases[] = {
      {"č", "\xE8"}, {"Č", "\xC8"}, {"š", "\x9A"}, {"Š", "\x8A"}, {"ž", "\x9E"}, {"Ž", "\x8E"},
      {"ć", "\xE6"}, {"đ", "\xF0"}, {"Đ", "\xD0"}, {"€", "\x80"}, {"„", "\x84"}, {"˙", "\xFF"},
      {"abc 123", "abc 123"}, {"→", "?"}, {"😀", "?"}, {"ü", "\xFC"}, {"ñ", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1250(c.utf8), c.cp) << c.utf8;
  EXPECT_EQ(Utf8ToCp1250("Žalec → Celje"), "\x8E" "alec ? Celje");
}

TEST(Cp1250, InvalidUtf8BecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1250("a\xFF" "b"), "a?b");
  EXPECT_EQ(Utf8ToCp1250("\xC4"), "?");          // cut in the middle of č
  EXPECT_EQ(Utf8ToCp1250("\xED\xA0\x80"), "???");  // an encoded surrogate
  EXPECT_EQ(Utf8ToCp1250(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1250, EveryAssignedByteRoundTrips) {
  int assigned = 0;
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = Cp1250ToUtf8(byte);
    if (b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98) {
      EXPECT_EQ(utf8, "?") << b;
      continue;
    }
    ++assigned;
    EXPECT_EQ(Utf8ToCp1250(utf8), byte) << b;
  }
  EXPECT_EQ(assigned, 251);
}

TEST(Text, IsValidUtf8) {
  struct Case { std::string s; bool valid; };
  const Case cases[] = {
      {"", true}, {"abc", true}, {"čšž €", true}, {"\xEF\xBF\xBD", true},  // a real U+FFFD
      {"ra\xE8un", false},                                                 // Windows-1250 "č"
      {"\xC4", false}, {"\xC0\x80", false}, {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},
      {std::string("a\0b", 3), true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsValidUtf8(c.s), c.valid) << c.s;
}

TEST(Cp1250, StrictConversionRefusesWhatHasNoForm) {
  std::string out;
  EXPECT_TRUE(TryUtf8ToCp1250("Čuk €", out));
  EXPECT_EQ(out, "\xC8uk \x80");
  EXPECT_FALSE(TryUtf8ToCp1250("Žalec → Celje", out));
  EXPECT_FALSE(TryUtf8ToCp1250("a\xFF", out));
  EXPECT_FALSE(TryUtf8ToCp1250("\xEF\xBF\xBD", out));
}
