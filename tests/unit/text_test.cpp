// Number formatting, number scanning and Shift-JIS encoding.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "text/encoding.hpp"
#include "text/format.hpp"
#include "text/messages.hpp"
#include "text/scan.hpp"

namespace dorvenk {
namespace {

std::string g6(double v) {
  std::string s;
  append_g6(s, v);
  return s;
}

std::string fixed12(double v, int width = 0) {
  std::string s;
  append_fixed12(s, v, width);
  return s;
}

struct G6Case {
  double value;
  const char* text;
};

TEST(FormatG6, SixSignificantDigitsInTheGStyle) {
  const G6Case cases[] = {
      {0.0, "0"},
      {1.5, "1.5"},
      {100.0, "100"},
      {0.0001, "0.0001"},
      {0.00009999995, "0.0001"},      // rounds up into fixed form
      {0.000099999949, "9.99999E-05"},  // below 1E-04 after rounding
      {0.12162500052, "0.121625"},
      {999999.0, "999999"},
      {999999.5, "1E+06"},  // rounds to a seventh digit: exponent form
      {1000000.0, "1E+06"},
      {123456789.0, "1.23457E+08"},
      {-0.0000008, "-8E-07"},
      {2.29128784747792, "2.29129"},
      {3.716922, "3.71692"},
      {1e-300, "1E-300"},
      {-2.5, "-2.5"},
      {0.812, "0.812"},
      {1.2e-1, "0.12"},
  };
  for (const G6Case& c : cases) EXPECT_EQ(g6(c.value), c.text) << c.value;
}

TEST(FormatG6, NonFiniteValuesHaveOneSpellingWhateverTheNaNSign) {
  double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(g6(nan), "NAN");
  EXPECT_EQ(g6(-nan), "NAN");
  EXPECT_EQ(g6(std::sqrt(-1.0)), "NAN");
  EXPECT_EQ(g6(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(g6(-std::numeric_limits<double>::infinity()), "-INF");
  EXPECT_EQ(g6(-0.0), "-0");
}

TEST(FormatFixed12, TwelveDecimalsCorrectlyRounded) {
  EXPECT_EQ(fixed12(0.5), "0.500000000000");
  EXPECT_EQ(fixed12(-1.0), "-1.000000000000");
  EXPECT_EQ(fixed12(1.0 / 3.0), "0.333333333333");
  EXPECT_EQ(fixed12(2.0 / 3.0), "0.666666666667");
  EXPECT_EQ(fixed12(4.9e-13), "0.000000000000");
  EXPECT_EQ(fixed12(5.1e-13), "0.000000000001");
  EXPECT_EQ(fixed12(-4.9e-13), "-0.000000000000");
  EXPECT_EQ(fixed12(1e20), "100000000000000000000.000000000000");
  EXPECT_EQ(fixed12(0.5, 15), " 0.500000000000");
  EXPECT_EQ(fixed12(-0.5, 15), "-0.500000000000");
  EXPECT_EQ(fixed12(12.5, 15), "12.500000000000");
  EXPECT_EQ(fixed12(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(fixed12(-std::numeric_limits<double>::quiet_NaN()), "nan");
}

TEST(FormatInt, PlainAndTwoWide) {
  std::string s;
  append_int(s, 0, 2);
  s += '|';
  append_int(s, 7, 2);
  s += '|';
  append_int(s, 199, 2);
  s += '|';
  append_int(s, -1, 2);
  s += '|';
  append_int(s, -2147483648LL);
  EXPECT_EQ(s, " 0| 7|199|-1|-2147483648");
}

// A scanner over a fixed text.
struct ScanFixture {
  std::istringstream stream;
  Scanner scanner;
  explicit ScanFixture(const std::string& text) : stream(text), scanner(make_scanner(stream.rdbuf())) {}
  std::string rest() {
    std::string word, all;
    while (scan_word(scanner, word) == ScanStatus::ok) all += word + "|";
    return all;
  }
};

struct NumberCase {
  const char* text;
  double value;
  const char* rest;  // the words left after the number
};

TEST(ScanDouble, EveryFormOfTheGrammar) {
  const NumberCase cases[] = {
      {"5", 5.0, ""},
      {"5.", 5.0, ""},
      {".5", 0.5, ""},
      {"5.25", 5.25, ""},
      {"+5.25", 5.25, ""},
      {"-5.25", -5.25, ""},
      {"1e3", 1000.0, ""},
      {"1E+3", 1000.0, ""},
      {"-2.5e-3", -0.0025, ""},
      {"  \n\r\n\t 7 8", 7.0, "8|"},
      {"1-2", 1.0, "-2|"},
      {"1.5abc", 1.5, "abc|"},
      {"1e", 1.0, "e|"},
      {"1e+x", 1.0, "e+x|"},
      {"1.2.3", 1.2, ".3|"},
      {"0.1", 0.1, ""},
      {"1e999", std::numeric_limits<double>::infinity(), ""},
      {"-1e999", -std::numeric_limits<double>::infinity(), ""},
      {"1e-999", 0.0, ""},
      {"4.9406564584124654e-324", 4.9406564584124654e-324, ""},
      {"0.1000000000000000055511151231257827021181583404541015625", 0.1, ""},
  };
  for (const NumberCase& c : cases) {
    ScanFixture f(c.text);
    double value = -123.0;
    ASSERT_EQ(scan_double(f.scanner, value), ScanStatus::ok) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(f.rest(), c.rest) << c.text;
  }
}

TEST(ScanDouble, TextThatIsNoNumberStaysInPlace) {
  for (const char* text : {"inf", "nan", "-inf", "infinity", "NAN", "0x1p3", "abc", ",", "-", "+", ".", "-.", "+.e5",
                           "\xEF\xBB\xBF" "1"}) {
    ScanFixture f(text);
    double value = -123.0;
    if (std::string(text) == "0x1p3") {
      // "0" is a number; the "x1p3" after it is not.
      ASSERT_EQ(scan_double(f.scanner, value), ScanStatus::ok);
      EXPECT_EQ(value, 0.0);
      EXPECT_EQ(scan_double(f.scanner, value), ScanStatus::no_number);
      EXPECT_EQ(f.rest(), "x1p3|");
      continue;
    }
    EXPECT_EQ(scan_double(f.scanner, value), ScanStatus::no_number) << text;
    EXPECT_EQ(value, -123.0) << text;
    EXPECT_EQ(f.rest(), std::string(text) + "|") << text;
  }
}

TEST(ScanDouble, EndOfInputIsReportedAsTheEnd) {
  ScanFixture f(" \n\t ");
  double value;
  EXPECT_EQ(scan_double(f.scanner, value), ScanStatus::end);
  ScanFixture empty("");
  EXPECT_EQ(scan_double(empty.scanner, value), ScanStatus::end);
}

TEST(ScanInt, SignAndDigitsOnly) {
  struct IntCase {
    const char* text;
    ScanStatus status;
    int value;
    const char* rest;
  };
  const IntCase cases[] = {
      {"2.5", ScanStatus::ok, 2, ".5|"},
      {"-1", ScanStatus::ok, -1, ""},
      {"+100 7", ScanStatus::ok, 100, "7|"},
      {"2147483647", ScanStatus::ok, 2147483647, ""},
      {"-2147483648", ScanStatus::ok, -2147483647 - 1, ""},
      {"2147483648", ScanStatus::range, 0, ""},
      {"-2147483649", ScanStatus::range, 0, ""},
      {"99999999999999999999999 x", ScanStatus::range, 0, "x|"},
      {"abc", ScanStatus::no_number, 0, "abc|"},
      {"-x", ScanStatus::no_number, 0, "-x|"},
      {".5", ScanStatus::no_number, 0, ".5|"},
      {"", ScanStatus::end, 0, ""},
  };
  for (const IntCase& c : cases) {
    ScanFixture f(c.text);
    int value = 0;
    EXPECT_EQ(scan_int(f.scanner, value), c.status) << c.text;
    if (c.status == ScanStatus::ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
    EXPECT_EQ(f.rest(), c.rest) << c.text;
  }
}

TEST(ScanWord, WordsOfAnyLengthAcrossBlankLines) {
  std::string long_word(5000, 'w');
  ScanFixture f("\n\n  a b\r\n\n" + long_word + "\tend");
  std::string word;
  ASSERT_EQ(scan_word(f.scanner, word), ScanStatus::ok);
  EXPECT_EQ(word, "a");
  ASSERT_EQ(scan_word(f.scanner, word), ScanStatus::ok);
  EXPECT_EQ(word, "b");
  ASSERT_EQ(scan_word(f.scanner, word), ScanStatus::ok);
  EXPECT_EQ(word, long_word);
  ASSERT_EQ(scan_word(f.scanner, word), ScanStatus::ok);
  EXPECT_EQ(word, "end");
  EXPECT_EQ(scan_word(f.scanner, word), ScanStatus::end);
}

TEST(ScanLines, LineNumberOfTheNextItem) {
  ScanFixture f("1 2\n3\r\n\n x");
  double value;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(scan_double(f.scanner, value), ScanStatus::ok);
  EXPECT_EQ(scan_double(f.scanner, value), ScanStatus::no_number);
  EXPECT_EQ(f.scanner.line, 4);
  std::string text;
  skip_word(f.scanner, text, 32);
  EXPECT_EQ(text, "x");
}

TEST(Encoding, ShiftJisBytesOfTheTexts) {
  std::string out;
  append_text(out, "\a[完了]\n～？ー", Encoding::shift_jis);
  EXPECT_EQ(out, "\a[\x8A\xAE\x97\xB9]\n\x81\x60\x81\x48\x81\x5B");
  out.clear();
  append_text(out, "データ数=", Encoding::shift_jis);
  EXPECT_EQ(out, "\x83\x66\x81\x5B\x83\x5E\x90\x94=");
  out.clear();
  append_text(out, "データ", Encoding::utf8);
  EXPECT_EQ(out, "データ");
}

// The system's own CP932 converter: the bytes the tool's table must give.
std::string iconv_cp932(std::string_view utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "(no CP932 converter)";
  std::string in(utf8), out(4 * utf8.size() + 16, '\0');
  char* from = in.data();
  char* to = out.data();
  std::size_t from_left = in.size(), to_left = out.size();
  std::size_t result = iconv(cd, &from, &from_left, &to, &to_left);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1)) return "(not convertible to CP932)";
  out.resize(out.size() - to_left);
  return out;
}

// Walks every text of the tool (the list in text/messages.hpp), so a new
// text with a character the table lacks, or a wrong entry, fails here.
TEST(Encoding, EveryTextHasTheShiftJisBytesOfTheSystemConverter) {
  std::size_t japanese = 0;
  for (const Template* t : text::ALL_TEXTS) {
    std::string ours;
    append_text(ours, t->source(), Encoding::shift_jis);
    EXPECT_TRUE(shift_jis_covers(t->source())) << t->name();
    EXPECT_EQ(ours, iconv_cp932(t->source())) << t->name();
    if (!t->ascii()) ++japanese;
  }
  EXPECT_GE(japanese, 14u);
}

}  // namespace
}  // namespace dorvenk
