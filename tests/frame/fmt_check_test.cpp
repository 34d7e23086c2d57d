#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

struct FormatCase {
  const char* format;
  int kind;
  bool accepted;
  const char* why;
};

TEST(FmtCheck, AcceptsExactlyOneConversionOfTheCallersKind) {
  const FormatCase cases[] = {
      {"%f", FMT_FLOAT, true, "plain float"},
      {"%-+ #08.3e", FMT_FLOAT, true, "all flags, width, precision"},
      {"T=%6.1lf deg %%", FMT_FLOAT, true, "text, l and a literal percent"},
      {"%g", FMT_FLOAT, true, "g"},
      {"%d", FMT_FLOAT, false, "integer conversion for a float"},
      {"%s", FMT_FLOAT, false, "string for a float"},
      {"%n", FMT_FLOAT, false, "writes through a pointer"},
      {"%f %f", FMT_FLOAT, false, "two conversions"},
      {"no conversion", FMT_FLOAT, false, "none at all"},
      {"%%", FMT_FLOAT, false, "only a literal percent"},
      {"%*f", FMT_FLOAT, false, "width from the argument list"},
      {"%.*f", FMT_FLOAT, false, "precision from the argument list"},
      {"%100f", FMT_FLOAT, false, "three-digit width"},
      {"%5.100f", FMT_FLOAT, false, "three-digit precision"},
      {"%Lf", FMT_FLOAT, false, "long double"},
      {"%1$f", FMT_FLOAT, false, "positional argument"},
      {"%", FMT_FLOAT, false, "dangling percent"},
      {"%5", FMT_FLOAT, false, "conversion missing"},
      {"%d", FMT_INT, true, "int"},
      {"%05ld", FMT_INT, true, "long int"},
      {"%x", FMT_INT, true, "hexadecimal"},
      {"%hhd", FMT_INT, false, "char-sized int"},
      {"%f", FMT_INT, false, "float for an int"},
      {"%-10.10s|", FMT_STRING, true, "bounded string"},
      {"%ls", FMT_STRING, false, "wide string"},
      {"%c", FMT_CHAR, true, "character"},
      {"%s", FMT_CHAR, false, "string for a character"},
      {"%f", 0, false, "unknown kind"},
  };
  for (const auto& c : cases) EXPECT_EQ(FMT_check(c.format, c.kind), c.accepted ? 1 : 0) << c.format << ": " << c.why;
  EXPECT_EQ(FMT_check(nullptr, FMT_FLOAT), 0);
}

TEST(FmtCheck, PrintsCheckedFormatsAndFallsBackWithAWarning) {
  EXPECT_EQ(FMT_print_float("t", "%5.1f C", "%g", 21.25), " 21.2 C");
  EXPECT_EQ(FMT_print_int("t", "%03d", "%d", 7), "007");
  EXPECT_EQ(FMT_print_int("t", "%ld", "%d", 1234567890L), "1234567890");
  EXPECT_EQ(FMT_print_str("t", "<%-4s>", "%s", "ab"), "<ab  >");
  EXPECT_EQ(FMT_print_char("t", "[%c]", "%c", 'x'), "[x]");
  EXPECT_EQ(FMT_print_str("t", "%s", "%s", nullptr), "");

  std::string text;
  auto out = kez_test::capture([&] { text = FMT_print_float("caller_fn", "%s%n", "%4.0f", 12.0); });
  EXPECT_EQ(text, "  12");
  EXPECT_NE(out.err.find("caller_fn: "), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("%s%n"), std::string::npos) << out.err;

  /* a fallback that is itself unusable gives nothing rather than a crash */
  kez_test::capture([&] { text = FMT_print_float("caller_fn", "%d", "%s", 1.0); });
  EXPECT_EQ(text, "");
}

TEST(FmtCheck, LongOutputIsNotCut) {
  const std::string s = FMT_print_float("t", "%99.50f", "%f", 1e30);
  EXPECT_EQ(s.size(), 99u);
  /* 31 integer digits and 50 decimals, right-aligned in 99 */
  EXPECT_EQ(s.find('.'), 99u - 51u);
}

TEST(FmtCheck, FloatTextsAreWhatPrintfWrites) {
  /* Plain "%<width>.<precision>f" formats are written without printf; the
   * text must not differ from printf's for any of them, ties included. */
  const char* formats[] = {"%f",     "%1.0f",  "%.1f",  "%5.2f", "%.f",   "%99.50f", "%3.3f",
                           "%05.1f", "%-6.1f", "%+.1f", "% .0f", "%#.0f", "%e",      "%.1f mb"};
  const double values[] = {0.0,   -0.0, 0.5,   1.5,    2.5,     -2.5,   0.25,     -0.05f,    12.345f,     99.95f,
                           -1e-7, 1e30, 1e300, -1e300, 1013.25, 5e-324, HUGE_VAL, -HUGE_VAL, std::nan("")};
  for (const char* f : formats)
    for (double v : values) {
      char expected[512];
      std::snprintf(expected, sizeof expected, f, v);
      EXPECT_EQ(FMT_print_float("t", f, "%g", v), expected) << f << " of " << v;
    }
}

/* FMT_fixed writes short numbers from their binary value and the rest
 * through to_chars: both must give printf's text, rounding of ties and
 * signs of zero included. */
std::string printf_fixed(double v, int precision) {
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", precision, v);
  return text;
}

std::string fmt_fixed(double v, int precision) {
  char text[512];
  const std::size_t n = FMT_fixed(v, precision, text, sizeof text);
  return std::string(text, n);
}

TEST(FmtCheck, FixedTextIsPrintfsForEveryPrecisionAndTie) {
  const double values[] = {0.0,
                           -0.0,
                           0.5,
                           1.5,
                           2.5,
                           -2.5,
                           0.125,
                           0.375,
                           -0.0625,
                           0.0005,
                           0.0015,
                           0.0025,
                           1.0005,
                           2.675,
                           1013.25,
                           -40.5,
                           99.95f,
                           12.345f,
                           -0.05f,
                           5e-324,
                           -5e-324,
                           2.2e-308,
                           1e-7,
                           0.49999999999999994,
                           1125899906842623.5,
                           1125899906842624.0,
                           -1125899906842625.0,
                           4503599627370495.5,
                           9007199254740993.0,
                           1e30,
                           -1e300,
                           123456789.0005,
                           0.9995,
                           0.9994999999999999,
                           65.5f,
                           -17.25f};
  for (int precision = 0; precision <= 8; ++precision)
    for (double v : values) EXPECT_EQ(fmt_fixed(v, precision), printf_fixed(v, precision)) << v << " at " << precision;
}

TEST(FmtCheck, FixedTextSweepOverFloatsAndDoubles) {
  /* Every float that a station value takes (hundredths from -2000 to
   * 2000), then doubles spread over all magnitudes by a fixed generator. */
  for (int i = -200000; i <= 200000; ++i) {
    const float f = static_cast<float>(i) / 100.0f;
    for (int precision = 0; precision <= 3; ++precision)
      ASSERT_EQ(fmt_fixed(f, precision), printf_fixed(f, precision)) << f << " at " << precision;
  }
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 200000; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    /* exponents from 2^-80 to 2^60, any mantissa and sign */
    const std::uint64_t exponent = 1023 - 80 + (x >> 20) % 141;
    const double v = std::bit_cast<double>((x & 0x800FFFFFFFFFFFFFull) | (exponent << 52));
    const int precision = static_cast<int>((x >> 8) % 5);
    ASSERT_EQ(fmt_fixed(v, precision), printf_fixed(v, precision)) << v << " at " << precision;
  }
}

TEST(FmtCheck, FixedTextRefusesWhatItCannotWrite) {
  char text[4];
  EXPECT_EQ(FMT_fixed(12345.0, 0, text, sizeof text), 0u) << "longer than the room";
  EXPECT_EQ(FMT_fixed(1.0, 1, text, 3), 3u);
  EXPECT_EQ(std::string(text, 3), "1.0");
  EXPECT_EQ(FMT_fixed(HUGE_VAL, 0, text, sizeof text), 0u);
  EXPECT_EQ(FMT_fixed(std::nan(""), 0, text, sizeof text), 0u);
  EXPECT_EQ(FMT_fixed(1.0, -1, text, sizeof text), 0u);
  EXPECT_EQ(FMT_fixed(1.0, 100, text, sizeof text), 0u);
  EXPECT_EQ(FMT_fixed(1.0, 0, nullptr, 4), 0u);
}

TEST(FmtCheck, TextsLongerThanTheFirstBufferAreWhole) {
  const std::string long_text(300, 'x');
  EXPECT_EQ(FMT_print_str("t", "<%s>", "%s", long_text.c_str()), "<" + long_text + ">");
}

} // namespace
