#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

using kez_test::read_file;
using kez_test::TempDir;
using kez_test::write_file;

struct FileCloser {
  void operator()(FILE* fp) const { std::fclose(fp); }
};
using File = std::unique_ptr<FILE, FileCloser>;

/* A stream over text held in memory. */
File text_stream(const std::string& text) {
  FILE* fp = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), fp);
  std::rewind(fp);
  return File(fp);
}

/* Runs a sequence of reader calls and renders each as result:'text'. */
enum class Call { line, nline3, string5, raw, skip };

std::string run_calls(const std::string& text, const std::vector<Call>& calls) {
  File fp = text_stream(text);
  std::string log;
  char buf[FGETLINE_LEN + 1];
  for (Call call : calls) {
    std::strcpy(buf, "?");
    int got = 0;
    switch (call) {
      case Call::line: got = fgetline(fp.get(), buf); break;
      case Call::nline3: got = fgetnline(fp.get(), buf, 3); break;
      case Call::string5: got = fgetstring(fp.get(), buf, 5); break;
      case Call::raw: got = fget_rawstring(fp.get(), buf, 20); break;
      case Call::skip: got = fskipline(fp.get()); break;
    }
    log += std::to_string(got);
    if (call != Call::skip) log += ":'" + std::string(buf) + "'";
    log += " ";
  }
  return log;
}

TEST(LineReaders, NewlineIsTakenAtTheNextCall) {
  using enum Call;
  struct Case {
    const char* text;
    std::vector<Call> calls;
    const char* log;
    const char* why;
  };
  const Case cases[] = {
      {"A\n\nB\n", {line, line, line, line}, "1:'A' 0:'' 1:'B' -1:'?' ", "empty line, EOF keeps the buffer"},
      {"ABCDE\nF\n", {nline3, nline3, nline3}, "3:'ABC' 2:'DE' 1:'F' ", "long line in pieces"},
      {"A\nB\n", {line, skip, line}, "1:'A' 0 1:'B' ", "skip after a read skips nothing"},
      {"A\n\nB\n", {line, skip, line, line}, "1:'A' 0 0:'' 1:'B' ", "also before an empty line"},
      {"ABC\nD\n", {string5, skip, string5}, "1:'ABC' 0 1:'D' ", ""},
      {"AB", {line, line}, "2:'AB' -1:'?' ", "last line without newline"},
      {"\nA\n", {line}, "1:'A' ", "an empty first line is passed over"},
      {"ABCDEFGH\nI\n", {string5, skip, string5}, "1:'ABCDE' 0 1:'I' ", "skip in the middle of a line"},
      {"ABCDEFGH\n\nI\n", {string5, skip, string5}, "1:'ABCDE' 0 1:'I' ", "then an empty line is passed over"},
      {"", {line, skip}, "-1:'?' -1 ", "empty file"},
      {"a\tb\r\n", {raw}, "1:'a b' ", "tab to blank, carriage return ends the text"},
      {"x\ry\x01z\n", {raw}, "1:'x' ", "text ends at its first carriage return"},
      {" \x7f\xc3\xa9!\n", {raw}, "1:' \x7f  !' ", "bytes of 128 or more become blanks"},
  };
  for (const Case& c : cases) EXPECT_EQ(run_calls(c.text, c.calls), c.log) << c.why;
}

TEST(LineReaders, LineOfTheFullLimitThenAnEmptyLine) {
  std::string full(FGETLINE_LEN, 'x');
  File fp = text_stream(full + "y\n\nz\n");
  char buf[FGETLINE_LEN + 1];
  EXPECT_EQ(fgetline(fp.get(), buf), FGETLINE_LEN);
  EXPECT_EQ(fgetline(fp.get(), buf), 1);
  EXPECT_STREQ(buf, "y");
  EXPECT_EQ(fgetline(fp.get(), buf), 0);
  EXPECT_EQ(fgetline(fp.get(), buf), 1);
  EXPECT_STREQ(buf, "z");
  EXPECT_EQ(fgetnline(fp.get(), buf, 0), EOF) << "no room is refused, not overrun";
}

/* The whole-line reader reads a block at a time: lines across block
 * boundaries, NUL characters, carriage returns, the last line without its
 * end and the kept length must come out as a character at a time would
 * give them. */
std::vector<std::string> text_lines(const std::string& text, std::size_t max) {
  File fp = text_stream(text);
  std::vector<std::string> lines;
  std::string line = "left over";
  while (max == std::string::npos ? fget_text_line(fp.get(), &line) : fget_text_line(fp.get(), &line, max))
    lines.push_back(line);
  EXPECT_TRUE(line.empty() || !lines.empty());
  return lines;
}

/* What a character at a time gives. */
std::vector<std::string> reference_lines(const std::string& text, std::size_t max) {
  std::vector<std::string> lines;
  std::string line;
  bool any = false;
  for (char c : text) {
    any = true;
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
      any = false;
    } else if (c != '\r' && line.size() < max) {
      line += c;
    }
  }
  if (any) lines.push_back(line);
  return lines;
}

TEST(LineReaders, WholeLinesAsACharacterAtATimeGivesThem) {
  const std::string nul("a\0b", 3);
  const struct {
    std::string text;
    const char* why;
  } cases[] = {
      {"", "empty file"},
      {"\n", "one empty line"},
      {"abc", "no line end"},
      {"abc\r\ndef\r\n", "carriage returns"},
      {"x\ry\n\r\n", "a carriage return inside"},
      {nul + "\n" + nul, "NUL characters kept"},
      {std::string(255, 'a') + "\n" + std::string(254, 'b') + "\n" + std::string(256, 'c'), "block edges"},
      {std::string(255, 'a'), "a block exactly, no end"},
      {std::string(5000, 'z') + "\r\n" + std::string(511, '\0') + "\nend", "many blocks"},
      {std::string(300, '\r') + "\n", "only carriage returns"},
  };
  for (const auto& c : cases)
    for (std::size_t max : {std::string::npos, std::size_t{0}, std::size_t{3}, std::size_t{255}, std::size_t{4096}}) {
      SCOPED_TRACE(c.why);
      SCOPED_TRACE(max);
      EXPECT_EQ(text_lines(c.text, max), reference_lines(c.text, max));
    }
}

TEST(LineReaders, WholeLinesOverRandomTexts) {
  std::uint64_t x = 0x2545F4914F6CDD1Dull;
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const int n = static_cast<int>(x % 2000);
    for (int i = 0; i < n; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      static constexpr char pick[] = {'\n', '\r', '\0', 'a', 'b', ' ', '\n', 'c'};
      text += x % 5 == 0 ? pick[(x >> 8) % sizeof pick] : static_cast<char>('d' + x % 20);
    }
    ASSERT_EQ(text_lines(text, std::string::npos), reference_lines(text, std::string::npos)) << round;
    ASSERT_EQ(text_lines(text, 40), reference_lines(text, 40)) << round;
  }
}

/* Plain decimals are read without strtod; whatever is read is strtod's
 * number and length, and anything else is left to strtod. */
TEST(NumericTools, ScanDecimalReadsAsStrtod) {
  const struct {
    const char* text;
    bool scanned;
  } cases[] = {
      {"7", true},
      {"-7.25", true},
      {"+.5", true},
      {"3.", true},
      {"-0", true},
      {"0.1", true},
      {"12.3.4", true},
      {"5 6", true},
      {"2.5e3", false},
      {"1E", false},
      {"0x1A", false},
      {"", false},
      {"-", false},
      {".", false},
      {"+.", false},
      {"inf", false},
      {"nan", false},
      {" 5", false},
      {"9999999999999999", false},
      {"123456789012345", true},
      {"0.00000000000001", true},
      {"0.000000000000001", false},
  };
  for (const auto& c : cases) {
    double v = 0;
    std::size_t used = 0;
    EXPECT_EQ(scan_decimal(c.text, &v, &used), c.scanned) << c.text;
    if (!c.scanned) continue;
    char* end = nullptr;
    const double want = std::strtod(c.text, &end);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(v), std::bit_cast<std::uint64_t>(want)) << c.text;
    EXPECT_EQ(used, static_cast<std::size_t>(end - c.text)) << c.text;
  }
  /* digit strings of 1 to 15 digits with a point anywhere, either sign */
  std::uint64_t x = 88172645463325252ull;
  for (int i = 0; i < 100000; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const int digits = 1 + static_cast<int>(x % 15);
    std::string t = (x >> 4) % 3 == 0 ? "-" : "";
    const int point = static_cast<int>((x >> 8) % static_cast<std::uint64_t>(digits + 1));
    std::uint64_t y = x >> 16;
    for (int d = 0; d < digits; ++d) {
      if (d == point) t += '.';
      t += static_cast<char>('0' + y % 10);
      y = y / 10 + (x >> (d % 32)) * 7;
    }
    double v = 0;
    std::size_t used = 0;
    ASSERT_TRUE(scan_decimal(t, &v, &used)) << t;
    char* end = nullptr;
    const double want = std::strtod(t.c_str(), &end);
    ASSERT_EQ(std::bit_cast<std::uint64_t>(v), std::bit_cast<std::uint64_t>(want)) << t;
    ASSERT_EQ(used, t.size()) << t;
  }
}

TEST(ByteOrder, SwapFollowsTheSetup) {
  const bool little = std::endian::native == std::endian::little;
  struct Case {
    int flag;
    bool swaps;
  };
  const Case cases[] = {{1, little}, {2, !little}, {-1, false}, {0, true}, {7, true}};
  for (const Case& c : cases) {
    swap_setup(c.flag);
    unsigned char four[] = {1, 2, 3, 4};
    unsigned char eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    unsigned char shorts[] = {1, 2, 3, 4, 5, 6};
    unsigned char longs[] = {1, 2, 3, 4, 5, 6, 7, 8};
    int r = swap_long(four);
    swap_double(eight);
    swap_shorts(shorts, 3);
    swap_longs(longs, 2);
    if (c.swaps) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(std::vector<int>(four, four + 4), (std::vector<int>{4, 3, 2, 1})) << c.flag;
      EXPECT_EQ(std::vector<int>(eight, eight + 8), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1}));
      EXPECT_EQ(std::vector<int>(shorts, shorts + 6), (std::vector<int>{2, 1, 4, 3, 6, 5}));
      EXPECT_EQ(std::vector<int>(longs, longs + 8), (std::vector<int>{4, 3, 2, 1, 8, 7, 6, 5}));
    } else {
      EXPECT_EQ(r, -1);
      EXPECT_EQ(std::vector<int>(four, four + 4), (std::vector<int>{1, 2, 3, 4})) << c.flag;
      EXPECT_EQ(std::vector<int>(longs, longs + 8), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));
    }
  }
}

TEST(ByteOrder, SwapsBeforeAnySetup) {
  auto r = kez_test::run_child([] {
    unsigned char two[] = {1, 2};
    return swap_short(two) == 0 && two[0] == 2 && two[1] == 1 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

TEST(ByteOrder, BigEndianFileRoundTrip) {
  TempDir dir;
  const std::string name = dir.file("data.bin");
  swap_setup(1);
  {
    File out(std::fopen(name.c_str(), "wb"));
    std::uint32_t word = 0x01020304;
    std::uint16_t half = 0x0506;
    EXPECT_EQ(fwrite_long_swap(reinterpret_cast<unsigned char*>(&word), out.get()), 1);
    EXPECT_EQ(fwrite_short_swap(reinterpret_cast<unsigned char*>(&half), out.get()), 1);
    if (std::endian::native == std::endian::little) {
      EXPECT_EQ(word, 0x04030201u) << "the caller's item stays swapped";
    }
    double value = 1.5;
    unsigned char be[8];
    std::memcpy(be, &value, 8);
    swap_double(be);
    std::fwrite(be, 1, 8, out.get());
  }
  EXPECT_EQ(read_file(name), std::string("\x01\x02\x03\x04\x05\x06\x3f\xf8\0\0\0\0\0\0", 14));

  File in(std::fopen(name.c_str(), "rb"));
  std::uint32_t word = 0;
  std::uint16_t half = 0;
  double value = 0;
  EXPECT_EQ(fread_long_swap(reinterpret_cast<unsigned char*>(&word), in.get()), 1);
  EXPECT_EQ(fread_short_swap(reinterpret_cast<unsigned char*>(&half), in.get()), 1);
  EXPECT_EQ(fread_double_swap(reinterpret_cast<unsigned char*>(&value), in.get()), 1);
  EXPECT_EQ(word, 0x01020304u);
  EXPECT_EQ(half, 0x0506);
  EXPECT_EQ(value, 1.5);
  std::uint16_t untouched = 0xABCD;
  EXPECT_EQ(fread_short_swap(reinterpret_cast<unsigned char*>(&untouched), in.get()), 0);
  EXPECT_EQ(untouched, 0xABCD) << "nothing is swapped at the end of the file";
}

TEST(NumericTools, ThresholdCodes) {
  struct Case {
    float x;
    int code;
  };
  const Case cases[] = {
      {0.0f, 0},    {850.0f, 285},  {5.5f, 55},      {1000.0f, 310}, {0.25f, 925}, {0.5f, 950},
      {-5.5f, -55}, {0.1f, 910},    {0.29f, 928},    {0.01f, 799},   {10.0f, 110}, {99.0f, 199},
      {1.0f, 10},   {-0.25f, -925}, {12345.0f, 412}, {2.5e-6f, 502}, // below 0.00001 the exponent is truncated, not
                                                                     // floored
  };
  for (const Case& c : cases) EXPECT_EQ(float2int(c.x), c.code) << c.x;
  EXPECT_EQ(float2int(std::numeric_limits<float>::infinity()), -9999);
  EXPECT_EQ(float2int(std::numeric_limits<float>::quiet_NaN()), -9999);
}

TEST(NumericTools, InterpolationAndExchange) {
  EXPECT_FLOAT_EQ(linear_interp(5.0f, 0.0f, 10.0f, 100.0f, 200.0f), 150.0f);
  EXPECT_FLOAT_EQ(linear_interp(15.0f, 0.0f, 10.0f, 100.0f, 200.0f), 250.0f);
  float a = 1.0f, b = 2.0f;
  EXPECT_EQ(fswap(&a, &b), 0);
  EXPECT_EQ(a, 2.0f);
  EXPECT_EQ(b, 1.0f);
}

} // namespace
