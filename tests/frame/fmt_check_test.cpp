#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(FmtCheck, TextsLongerThanTheFirstBufferAreWhole) {
  const std::string long_text(300, 'x');
  EXPECT_EQ(FMT_print_str("t", "<%s>", "%s", long_text.c_str()), "<" + long_text + ">");
}

} // namespace
