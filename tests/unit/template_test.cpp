// Text templates: parsing, filling, and the bytes of each conversion against
// the C library's printf with the same format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "text/messages.hpp"
#include "text/template.hpp"

namespace dorvenk {
namespace {

template <typename... Args>
std::string printf_text(const char* format, Args... values) {
  char buffer[1024];
  int length = std::snprintf(buffer, sizeof buffer, format, values...);
  return std::string(buffer, static_cast<std::size_t>(length));
}

template <typename... Args>
std::string filled(TemplateFor<std::type_identity_t<Args>...> t, const Args&... values) {
  std::string out;
  fill(out, Encoding::utf8, t, values...);
  return out;
}

// Finite doubles of every size and sign, seeded, with the awkward ones:
// halfway cases, values that round up to a new digit, subnormals.
std::vector<double> test_values() {
  std::vector<double> values{0.0,      -0.0,        1.0,          -1.0,        0.5,         0.1,
                             1e-4,     9.999995e-5, 0.00009999995, 999999.5,   999999.4999, 1e6,
                             123456.5, 2.5e-7,      1e-300,       4.9e-324,    1.7976931348623157e308,
                             5e-13,    4.9e-13,     -5.1e-13,     0.0000008,   1234567.891};
  std::uint64_t state = 2024;
  for (int i = 0; i < 4000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    double mantissa = static_cast<double>(state >> 11) / 9007199254740992.0;
    int exponent = static_cast<int>((state >> 3) % 40) - 20;
    double value = mantissa * std::pow(10.0, exponent);
    values.push_back(i % 2 == 0 ? value : -value);
  }
  return values;
}

constexpr Template ONE_OF_EACH{"one_of_each", "[{a}|{b:2d}|{c:.6G}|{d:.12f}|{e:15.12f}]"};
constexpr Template NO_VALUES{"no_values", "plain text\n"};
constexpr Template VALUE_ONLY{"value_only", "{v:.6G}"};

TEST(Template, ParsedWhileCompiling) {
  static_assert(ONE_OF_EACH.count() == 5);
  static_assert(ONE_OF_EACH.conversion(0) == Conversion::plain);
  static_assert(ONE_OF_EACH.conversion(1) == Conversion::int_width2);
  static_assert(ONE_OF_EACH.conversion(2) == Conversion::g6);
  static_assert(ONE_OF_EACH.conversion(3) == Conversion::fixed12);
  static_assert(ONE_OF_EACH.conversion(4) == Conversion::fixed12_width15);
  static_assert(ONE_OF_EACH.literal(0) == "[" && ONE_OF_EACH.literal(2) == "|" && ONE_OF_EACH.literal(5) == "]");
  static_assert(NO_VALUES.count() == 0 && NO_VALUES.literal(0) == "plain text\n");
  static_assert(VALUE_ONLY.count() == 1 && VALUE_ONLY.literal(0).empty() && VALUE_ONLY.literal(1).empty());
  static_assert(text::result_row.ascii() && !text::count_line.ascii());
  EXPECT_EQ(filled(ONE_OF_EACH, std::string("x"), 7, 0.5, 0.25, -1.5),
            "[x| 7|0.5|0.250000000000|-1.500000000000]");
  EXPECT_EQ(filled(NO_VALUES), "plain text\n");
}

TEST(Template, EachConversionIsPrintfs) {
  static constexpr Template g{"g", "{v:.6G}"};
  static constexpr Template f{"f", "{v:.12f}"};
  static constexpr Template f15{"f15", "{v:15.12f}"};
  for (double v : test_values()) {
    EXPECT_EQ(filled(g, v), printf_text("%.6lG", v)) << v;
    EXPECT_EQ(filled(f, v), printf_text("%.12lf", v)) << v;
    EXPECT_EQ(filled(f15, v), printf_text("%15.12lf", v)) << v;
  }
  static constexpr Template d{"d", "{v}"};
  static constexpr Template d2{"d2", "{v:2d}"};
  for (long long v : {0LL, 1LL, -1LL, 9LL, 10LL, 99LL, 100LL, 199LL, -10LL, 2147483647LL, -2147483648LL,
                      32768LL, 9000000000LL}) {
    EXPECT_EQ(filled(d, v), printf_text("%lld", v)) << v;
    EXPECT_EQ(filled(d2, v), printf_text("%2lld", v)) << v;
  }
}

// The engine's two lines, which it writes through these templates.
TEST(Template, CoefficientTableAndRatioLineAsTheEngineWritesThem) {
  std::vector<double> values = test_values();
  const int taps = 200;
  const int half = taps / 2;
  for (int k = 0; k < taps; ++k) {
    double p = values[static_cast<std::size_t>(k)] * 1e-3;
    double q = values[static_cast<std::size_t>(k + taps)] * 1e-3;
    EXPECT_EQ(filled(text::coefficient_line, k, p, k - half, q),
              printf_text("p%2d=%15.12lf, q%2d=%15.12lf\n", k, p, k - half, q))
        << k;
  }
  // Labels of one to three characters, values wider than the field, halves
  // of the last decimal and a negative zero.
  const struct {
    int k;
    double p;
    int label;
    double q;
  } lines[] = {{0, 0.5, -1, -0.5},        {7, -1.0 / 3, -93, 2.0 / 3},   {99, 123456.789, -1, -1e-13},
               {100, -6e-13, 0, 4.9e-13}, {199, 1e20, 99, -12345678.5}, {5, 0, -100, -0.0}};
  for (const auto& l : lines) {
    EXPECT_EQ(filled(text::coefficient_line, l.k, l.p, l.label, l.q),
              printf_text("p%2d=%15.12lf, q%2d=%15.12lf\n", l.k, l.p, l.label, l.q))
        << l.k;
  }
  for (int n : {1, 9, 1024, 32768}) {
    for (int zeroed : {0, 1, n / 2, n}) {
      EXPECT_EQ(filled(text::ratio_line, zeroed, n), printf_text("ratio >> %d/%d\n", zeroed, n));
    }
  }
}

TEST(Template, ResultFileLinesAsPrintfs) {
  EXPECT_EQ(filled(text::result_header, 15, 100), printf_text(" input L%d_N%d_denoise noise\n", 15, 100));
  EXPECT_EQ(filled(text::result_header, 1, 1), " input L1_N1_denoise noise\n");
  std::vector<double> values = test_values();
  for (std::size_t i = 0; i + 1 < values.size(); i += 2) {
    int row = static_cast<int>(i);
    double input = values[i], denoised = values[i + 1];
    EXPECT_EQ(filled(text::result_row, row, input, denoised, input - denoised),
              printf_text("%d %.6lG %.6lG %.6lG\n", row, input, denoised, input - denoised));
  }
}

TEST(Template, LiteralPartsInTheEncodingValuesAsTheyAre) {
  // A name is the bytes the run holds, also when the text around it is
  // converted to Shift-JIS.
  std::string out;
  fill(out, Encoding::shift_jis, text::missing_file, std::string("\xE3\x83\x87.txt"));
  EXPECT_EQ(out,
            "\a\x83t\x83@\x83" "C\x83\x8B[ \xE3\x83\x87.txt ]"                // ファイル[ name ]
            "\x82\xCD\x91\xB6\x8D\xDD\x82\xB5\x82\xDC\x82\xB9\x82\xF1\x81\x42\n");  // は存在しません。
  out.clear();
  fill(out, Encoding::utf8, text::missing_file, std::string("wave.txt"));
  EXPECT_EQ(out, "\aファイル[ wave.txt ]は存在しません。\n");
  out.clear();
  fill(out, Encoding::shift_jis, text::data_error, 12LL, std::string("abc"));
  EXPECT_EQ(out, "\adata error! [line 12: abc]\n");
}

TEST(Template, EveryTextIsWhole) {
  // No text is a fragment: each ends with a line end or is a prompt that
  // waits for its answer on the same line, or is the key wait's hint, which
  // stays on its line only until the key erases it.
  for (const Template* t : text::ALL_TEXTS) {
    std::string_view s = t->source();
    bool prompt = s.ends_with(" >") || s.ends_with("=");
    bool erased_in_place = t == &text::key_hint;
    EXPECT_TRUE(s.ends_with("\n") || prompt || erased_in_place) << t->name();
  }
}

}  // namespace
}  // namespace dorvenk
