#include "kez.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UserFloatFormats, OnlyOneFloatingConversionPasses) {
  struct Case {
    const char* format;
    int ok;
    const char* why;
  };
  const Case cases[] = {
      {"%14.8e", 1, "the default"},
      {"%8.2f", 1, "width and precision"},
      {"%-+ #08.3G", 1, "every flag"},
      {"%lf", 1, "l is harmless for a double"},
      {"val=%g%%", 1, "text and a literal percent"},
      {"%s", 0, "a text conversion reads a pointer"},
      {"%n", 0, "writes through a pointer"},
      {"%d", 0, "an integer conversion"},
      {"%f %f", 0, "two conversions"},
      {"plain", 0, "no conversion"},
      {"%*f", 0, "a width taken from the arguments"},
      {"%123f", 0, "a width of three digits"},
      {"%.100f", 0, "a precision of three digits"},
      {"%Lf", 0, "long double"},
      {"%f%", 0, "a lone percent at the end"},
      {"", 0, "empty"},
  };
  for (const Case& c : cases) EXPECT_EQ(FMT_check_float(c.format), c.ok) << c.format << ": " << c.why;
  EXPECT_EQ(FMT_check_float(nullptr), 0);
}

TEST(UserFloatFormats, FormatsCheckedFormatsAndRefusesOthers) {
  EXPECT_EQ(FMT_float("%8.2f", 3.14159), "    3.14");
  EXPECT_EQ(FMT_float("%14.8e", -9999.0), "-9.99900000e+03");
  EXPECT_EQ(FMT_float("%s", 1.0), "");
  std::string longtext(300, 'x');
  EXPECT_EQ(FMT_float((longtext + "%.1f").c_str(), 2.0), longtext + "2.0");
}

} // namespace
