#include "kez.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Editor = int (*)(char*);

std::string edit(Editor fn, const std::string& in, int* result = nullptr) {
  std::vector<char> buf(in.begin(), in.end());
  buf.push_back('\0');
  int r = fn(buf.data());
  if (result) *result = r;
  return buf.data();
}

std::vector<std::string> items_of(int argc, char** argv) {
  std::vector<std::string> items;
  for (int i = 0; i < argc; ++i) items.emplace_back(argv[i]);
  return items;
}

TEST(TextEditors, EditInPlaceAndReturnTheirValue) {
  struct Case {
    Editor fn;
    std::string in, out;
    int result;
    const char* why;
  };
  const Case cases[] = {
      {wstrim_string, "abc \r\n", "abc", 1, "line ends out, trailing blank cut"},
      {wsstrip_string, "abc \r\n", "abc ", 1, "line ends out, blank kept"},
      {trim_string, "  a b  ", "  a b", 0, "only trailing blanks"},
      {trim_cr_string, "ab\r\r", "ab", 0, "trailing carriage returns"},
      {strip_spaces, "  a   b  ", " a b", 0, "runs become one blank, leading run too"},
      {strip_escape, "a\\\\b\\c", "a\\bc", 0, "doubled backslash leaves one"},
      {strip_escape, "ab\\", "ab", 0, "a final backslash goes"},
      {up_string, "aBc1", "ABC1", 1, "letters only"},
      {up_string, "", "", 0, "empty text"},
      {low_string, "AbC", "abc", 1, "letters only"},
  };
  for (const Case& c : cases) {
    int result = -1;
    EXPECT_EQ(edit(c.fn, c.in, &result), c.out) << c.why;
    EXPECT_EQ(result, c.result) << c.why;
  }
}

TEST(TextEditors, FillStripAndShift) {
  char a[] = "new_york_city";
  fill_string(a, '_', ' ');
  EXPECT_STREQ(a, "new york city");
  char b[] = "a-b-c";
  strip_string(b, '-');
  EXPECT_STREQ(b, "abc");

  struct Case {
    const char* in;
    int num;
    const char* out;
  };
  const Case shifts[] = {{"abcdef", -2, "cdef"}, {"abc", -3, ""}, {"abc", -10, ""},
                         {"abcdef", 2, "abcd"},  {"abc", 3, ""},  {"abc", 0, "abc"}};
  for (const Case& c : shifts) {
    char buf[16];
    std::strcpy(buf, c.in);
    shift_string(buf, c.num);
    EXPECT_STREQ(buf, c.out) << c.in << " " << c.num;
  }
}

TEST(TextEditors, CleanLineBlanksControlAndHighBytes) {
  unsigned char line[] = {'a', 1, 'b', 200, 'c', 200, '\r', '\n', 0};
  EXPECT_EQ(clean_line(line), 1);
  EXPECT_STREQ(reinterpret_cast<char*>(line), "a b c ");
  unsigned char empty[] = {0};
  EXPECT_EQ(clean_line(empty), 0);
  EXPECT_EQ(clean_line(nullptr), 0);
}

TEST(TextTests, ClassifyTexts) {
  struct Case {
    int (*fn)(const char*);
    const char* text;
    int result;
  };
  const Case cases[] = {
      {string_is_num, "-12", 1},     {string_is_num, "1.5", 0},         {string_is_num, "-", 1},
      {string_is_num, "", 0},        {string_is_num, nullptr, 0},       {string_is_float, "1e5", 0},
      {string_is_float, "1E5", 1},   {string_is_float, "2.", 1},        {string_is_float, nullptr, 0},
      {string_is_alpha, "abcZ", 1},  {string_is_alpha, "ab1", 0},       {string_is_alpha, "", 0},
      {string_is_blank, " \t", 1},   {string_is_blank, "\xC8\xFF ", 1}, {string_is_blank, "", 1},
      {string_is_blank, nullptr, 1}, {string_is_blank, " a", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.fn(c.text), c.result) << (c.text ? c.text : "(null)");

  EXPECT_EQ(string_is_num_len("1234x", 4), 1);
  EXPECT_EQ(string_is_num_len("12", 4), 0) << "the NUL is no digit";
  EXPECT_EQ(string_is_num_len("ab", 0), 1);
  EXPECT_EQ(string_is_num_len("", 0), 0);
}

TEST(TextCopies, CopiesBelongToTheCaller) {
  char* copy = create_string("abc");
  EXPECT_STREQ(copy, "abc");
  std::free(copy);
  EXPECT_EQ(create_string(nullptr), nullptr);

  char* joined = create_strcat("a", ", ", "b");
  EXPECT_STREQ(joined, "a, b");
  std::free(joined);
  EXPECT_EQ(create_strcat("a", ",", nullptr), nullptr);
}

TEST(TextCopies, StrntcpyStopsAtAShorterSource) {
  char dst[8];
  std::memset(dst, 'x', sizeof dst);
  EXPECT_EQ(strntcpy(dst, "abcdef", 3), 1);
  EXPECT_STREQ(dst, "abc");
  /* A two-byte source with n of 6: no read past its NUL (the sanitizer
   * build catches one). */
  const char* shorter = static_cast<const char*>(std::memcpy(new char[2], "a", 2));
  strntcpy(dst, shorter, 6);
  EXPECT_STREQ(dst, "a");
  delete[] shorter;
}

TEST(TextCopies, StrmcatBoundsTheResult) {
  struct Case {
    const char* s1;
    const char* s2;
    int m;
    const char* out;
    int result;
  };
  const Case cases[] = {
      {"ab", "cd", 10, "abcd", 1},
      {"ab", "cdef", 4, "abcd", 1},
      {"abcd", "x", 4, "abcd", 0},
      {"abcde", "x", 4, "abcde", 0},
  };
  for (const Case& c : cases) {
    char buf[16];
    std::strcpy(buf, c.s1);
    EXPECT_EQ(strmcat(buf, c.s2, c.m), c.result);
    EXPECT_STREQ(buf, c.out);
  }
  EXPECT_EQ(strmcat(nullptr, "x", 4), 0);
}

TEST(TextCompare, CaseBlindComparison) {
  EXPECT_EQ(stricmp("ABC", "abc"), 0);
  EXPECT_LT(stricmp("abc", "abd"), 0);
  EXPECT_GT(stricmp("abcd", "abc"), 0);
  EXPECT_EQ(stricmp(nullptr, "abc"), 1);
  EXPECT_EQ(strnicmp("temperature", "TEMP", 4), 0);
  EXPECT_NE(strnicmp("", "x", 0), 0) << "the first characters are compared even for n of 0";
  EXPECT_EQ(strnicmp("ab", "ab", 0), 0);
  EXPECT_NE(strnicmp("abc", "abd", 3), 0);
  EXPECT_EQ(strnicmp("abc", "abd", 2), 0);
  EXPECT_EQ(strnicmp("a", nullptr, 1), 1);

  char* const words[] = {const_cast<char*>("temp"), const_cast<char*>("Wind")};
  EXPECT_EQ(searchstr(words, 2, "wind"), 1);
  EXPECT_EQ(searchstr(words, 1, "wind"), 0);
}

TEST(TextCompare, StrlstrFindsTheLastPlace) {
  char text[] = "a/b/c";
  EXPECT_EQ(strlstr(text, "/"), text + 3);
  EXPECT_EQ(strlstr(text, "x"), nullptr);
  EXPECT_EQ(strlstr(text, ""), text + 4) << "empty pattern gives the last character";
  EXPECT_EQ(strlstr(text, "a/b/c/d"), nullptr);
}

TEST(ParsedArrays, EmptyItemsSurviveTrailingDelimitersDont) {
  struct Case {
    const char* text;
    std::vector<std::string> items;
  };
  const Case cases[] = {
      {"1,2,3", {"1", "2", "3"}},
      {"a,,b,", {"a", "", "b"}},
      {"a,,b,,", {"a", "", "b"}},
      {",a", {"", "a"}},
      {",,,", {""}},
      {",", {""}},
      {"abc", {"abc"}},
  };
  for (const Case& c : cases) {
    int argc = -1;
    char** argv = nullptr;
    ASSERT_EQ(parse_string(c.text, ',', &argc, &argv), 0) << c.text;
    EXPECT_EQ(items_of(argc, argv), c.items) << c.text;
    free_parsed_array(argc, argv);
  }
}

TEST(ParsedArrays, ItemZeroOwnsTheTextBlock) {
  int argc = 0;
  char** argv = nullptr;
  ASSERT_EQ(parse_string("1,2,3", ',', &argc, &argv), 0);
  EXPECT_EQ(argv[1], argv[0] + 2);
  EXPECT_EQ(argv[2], argv[0] + 4);
  EXPECT_EQ(free_parsed_array(argc, argv), 0);
  EXPECT_EQ(free_parsed_array(0, nullptr), 0);
}

TEST(ParsedArrays, EmptyOrNullTextFails) {
  int argc = 5;
  char** argv = reinterpret_cast<char**>(&argc);
  EXPECT_EQ(parse_string("", ',', &argc, &argv), -1);
  EXPECT_EQ(argc, 0);
  EXPECT_EQ(argv, nullptr);
  EXPECT_EQ(parse_string(nullptr, ',', &argc, &argv), -1);
}

TEST(CommandSplit, BlanksSeparateQuotesGroup) {
  struct Case {
    const char* text;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"  plot  \"two words\" x  ", {"plot", "two words", "x"}},
      {"a b c", {"a", "b", "c"}},
      {"one", {"one"}},
      {"a \"unclosed text", {"a", "unclosed text"}},
      {"a \"ab\"cd e", {"a", "ab", "cd", "e"}},
      {"a \"\" b", {"a", "", "b"}},
  };
  for (const Case& c : cases) {
    int argc = 0;
    char** argv = nullptr;
    ASSERT_EQ(parse_command(c.text, &argc, &argv), 0) << c.text;
    EXPECT_EQ(items_of(argc, argv), c.words) << c.text;
    EXPECT_EQ(argv[argc], nullptr) << "null entry behind the last word";
    free_parsed_array(argc, argv);
  }
  int argc = 3;
  char** argv = nullptr;
  EXPECT_EQ(parse_command("", &argc, &argv), -1);
  EXPECT_EQ(argc, 0);
}

TEST(CommandSplit, CommandLineJoinsCommandAndText) {
  int argc = 0;
  char** argv = nullptr;
  ASSERT_EQ(parse_command_line("prog", "  -a b", &argc, &argv), 0);
  EXPECT_EQ(items_of(argc, argv), (std::vector<std::string>{"prog", "-a", "b"}));
  free_parsed_array(argc, argv);
  EXPECT_EQ(parse_command_line("prog", nullptr, &argc, &argv), -1);
  EXPECT_EQ(parse_command_line("", "", &argc, &argv), -1);
}

TEST(NumberFormat, ThreeNumberRule) {
  struct Case {
    const char* format;
    float x;
    const char* text;
  };
  const Case cases[] = {
      {"5.3.1", 234.5f, "234.5"}, {"5.3.1", 12.345f, " 12.3"}, {"5.3.1", 0.01234f, "0.0123"},
      {"5.3.1", -0.5f, "-0.500"}, {"5.3.1", 0.0f, "  0.0"},    {"5.3.1", 0.000004f, "  0.0"},
      {"2.2.0", 45.6f, "46"},     {"1.1.0", 3.7f, "4"},        {"1.2.0", 0.25f, "0.25"},
      {"3.3.0", 1013.2f, "1013"}, {"5.1.1", -9.04f, " -9.0"},
  };
  for (const Case& c : cases) {
    char buf[SET_NUM_LEN];
    EXPECT_STREQ(set_num(buf, c.format, c.x), c.text) << c.format << " " << c.x;
  }
  char buf[SET_NUM_LEN];
  set_num(buf, "1.1.0", 1e30f);
  EXPECT_LT(std::strlen(buf), static_cast<size_t>(SET_NUM_LEN)) << "huge values stay in the buffer";
}

TEST(NumberFormat, HugeFormatNumbersAreBounded) {
  struct Case {
    const char* format;
    float x;
    const char* text;
    const char* why;
  };
  const Case cases[] = {
      {"0.2147483647.0", 0.001f, "0.00100000004749745131", "significant digits past int: 20 decimals at most"},
      {"0.99999999999999999999.0", 0.001f, "0.00100000004749745131", "past long as well"},
      {"1.-2147483648.0", 0.001f, "0", "a hugely negative count gives no decimals"},
      {"99999999999.1.1", 2.5f, "      2.5", "a huge width is cut to 9"},
      {"5.3", 12.345f, " 12.3", "a format of two numbers"},
  };
  for (const Case& c : cases) {
    char buf[SET_NUM_LEN];
    EXPECT_STREQ(set_num(buf, c.format, c.x), c.text) << c.format << ": " << c.why;
  }
}

TEST(Choices, NameCountsFromZeroNumberFromOne) {
  char* const items[] = {const_cast<char*>("temp"), const_cast<char*>("wind")};
  EXPECT_EQ(chk_arg("wind", items, 2), 1);
  EXPECT_EQ(chk_arg("WIND", items, 2), 1);
  EXPECT_EQ(chk_arg("2", items, 2), 2);
  EXPECT_EQ(chk_arg("3", items, 2), -9999);
  EXPECT_EQ(chk_arg("0", items, 2), -9999);
  EXPECT_EQ(chk_arg("", items, 2), -9999);
}

} // namespace
