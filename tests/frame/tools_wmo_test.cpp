#include "kez.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string id_of(int wmo, int* result = nullptr) {
  char id[WMO_ID_LEN] = "";
  int r = wmo_to_id(id, wmo);
  if (result) *result = r;
  return id;
}

TEST(WmoIdentifiers, NumbersBecomeIdentifiers) {
  struct Case {
    int wmo;
    const char* id;
    const char* why;
  };
  const Case cases[] = {
      {999, "00999", "no range: five digits"},
      {0, "00000", "no range, lowest number"},
      {1001, "EN001", "two-character prefix"},
      {20123, "U0123", "one-character prefix"},
      {35229, "X5229", "one-character prefix"},
      {51234, "Z1234", "one-character prefix"},
      {94567, "Y4567", "Y from 94100"},
      {94099, "94099", "just below Y"},
      {63985, "FS985", "FS inside the HK thousand-block"},
      {63979, "HK979", "last of HK"},
      {67754, "67754", "the gap between FL and FV"},
      {72518, "K2518", "prefix with a digit"},
      {91720, "N1720", "prefix with a digit"},
      {40400, "OE400", "OE in block 40"},
      {41120, "OE120", "OE in block 41"},
      {41170, "OE170", "OE's third range"},
      {44123, "ZM123", "Z followed by a letter"},
      {99999, "99999", "no range, highest number"},
  };
  for (const Case& c : cases) {
    int r = -1;
    EXPECT_EQ(id_of(c.wmo, &r), c.id) << c.why;
    EXPECT_EQ(r, 0) << c.why;
  }
}

TEST(WmoIdentifiers, NumbersOutsideFiveDigitsFitTheBuffer) {
  for (int wmo : {-9999, -1, 100000, 2147483647}) {
    int r = 0;
    EXPECT_EQ(id_of(wmo, &r), "99999") << wmo;
    EXPECT_EQ(r, -1) << wmo;
  }
}

TEST(WmoIdentifiers, IdentifiersBecomeNumbers) {
  struct Case {
    const char* id;
    int result;
    int wmo;
    const char* why;
  };
  const Case cases[] = {
      {"X5229", 0, 35229, "one-character prefix"},
      {"Z1234", 0, 51234, "Z and a digit"},
      {"ZM123", 0, 44123, "Z and a letter is a two-character prefix"},
      {"Y4567", 0, 94567, "base 90000"},
      {"DR050", 0, 61050, "base of DR"},
      {"OE400", 0, 40400, "OE above 300: block 40"},
      {"OE120", 0, 41120, "OE up to 299: block 41"},
      {"N1720", 0, 91720, "prefix with a digit"},
      {"72518", -1, 72518, "digits are no letter identifier"},
      {"K25", -1, 99999, "length"},
      {"K25180", -1, 99999, "length"},
      {"", -1, 99999, "length"},
      {"AB1C3", -1, 99999, "a letter among the digits"},
      {"1B123", -1, 99999, "a digit first"},
      {"QQ123", -1, 99999, "prefix not in the table"},
      {"k2518", -1, 99999, "lower-case prefix"},
      {"OE300", -1, 99999, "OE 300 is in neither OE block"},
      {"OE200", -1, 99999, "41200 belongs to OT"},
      {"EN600", -1, 99999, "01600 is outside EN's range"},
      {"UA123", -1, 99999, "a one-character prefix takes four digits"},
      {"Y0001", -1, 99999, "90001 has no prefix"},
  };
  for (const Case& c : cases) {
    int wmo = -5;
    EXPECT_EQ(id_to_wmo(c.id, &wmo), c.result) << c.id << ": " << c.why;
    EXPECT_EQ(wmo, c.wmo) << c.id << ": " << c.why;
  }
  int wmo = -5;
  EXPECT_EQ(id_to_wmo(nullptr, &wmo), -1);
  EXPECT_EQ(wmo, 99999);
}

TEST(WmoIdentifiers, EveryPrefixedNumberRoundTrips) {
  int prefixed = 0;
  for (int wmo = 0; wmo <= 99999; ++wmo) {
    const std::string id = id_of(wmo);
    int back = -1;
    const int r = id_to_wmo(id.c_str(), &back);
    const bool digits = id.find_first_not_of("0123456789") == std::string::npos;
    if (digits) {
      ASSERT_EQ(r, -1) << id;
    } else {
      ++prefixed;
      ASSERT_EQ(r, 0) << wmo << " " << id;
    }
    ASSERT_EQ(back, wmo) << id;
  }
  EXPECT_GT(prefixed, 50000);
}

} // namespace
