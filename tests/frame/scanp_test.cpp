#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

/* A cursor over its own copy of a text. */
struct Cursor {
  std::vector<char> text;
  parse_param p{};
  explicit Cursor(const std::string& s) : text(s.begin(), s.end()) {
    text.push_back('\0');
    scanp_set(&p, text.data());
  }
};

/* Conversions that store one text. The destination starts as "~" so that
 * an untouched destination shows. */
TEST(Scanner, TextConversions) {
  struct Case {
    const char* pat;
    const char* text;
    int result;
    const char* stored;
    int len;
    int done;
    const char* why;
  };
  const Case cases[] = {
      {"%s ", "abc def", 1, "abc", 4, 1, "word and blank"},
      {"%s ", "abc", 1, "abc", 3, 0, "a blank needs whitespace"},
      {"%s", "ab\vcd", 1, "ab", 2, 1, "vertical tab ends a word"},
      {"%(yes|no)", "nothing", 1, "no", 2, 1, "first alternative that fits"},
      {"%(yes|no)", "maybe", 0, "~", 0, 0, "no alternative"},
      {"%<(yes|no)", "maybe", 1, "~", 0, 1, "optional alternatives keep the destination"},
      {"%(YES|)", "yes", 1, "", 0, 1, "case counts; an empty alternative fits"},
      {"%!abq!(x|y)", "abc", 1, "", 2, 1, "missing text consumes what it shares"},
      {"%1!abq!(x|y)", "abc", 1, "", 1, 1, "width bounds the shared part"},
      {"%[/N.]", "12.5kg", 1, "12.5", 4, 1, "digit class and a point"},
      {"%[^ ]", "ab cd", 1, "ab", 2, 1, "negated set"},
      {"%[^,]", "abcd", 1, "abcd", 4, 1, "negated set up to the end"},
      {"%[N]", "N5", 1, "N", 1, 1, "a letter stands for itself"},
      {"%[/N]", "N5", 0, "~", 0, 0, "the code means digits only"},
      {"%[//a]", "a/b", 1, "a/", 2, 1, "escaped slash"},
      {"%[/A]", "ab1", 1, "ab", 2, 1, "letter class"},
      {"%A", "abc12", 1, "abc", 3, 1, "letters"},
      {"%N", "123ab", 1, "123", 3, 1, "digits"},
      {"%N", "ab", 0, "~", 0, 0, "no digits"},
      {"%2N", "123", 1, "12", 2, 1, "exact width"},
      {"%4N", "123", 0, "~", 0, 0, "exact width not reached"},
      {"%<4N", "123", 1, "123", 3, 1, "at most the width"},
      {"%S", "rest of it", 1, "rest of it", 10, 1, "the rest"},
      {"%<4S", "rest of it", 1, "rest", 4, 1, "rest up to the width"},
      {"%w", " \t\n\rx", 1, " \t\n\r", 4, 1, "blank run with newline"},
      {"%W", " \t\n", 1, " \t", 2, 1, "blank run without newline"},
      {"a%%b%s", "a%bcd", 1, "cd", 5, 1, "%% and other letters are literals"},
      {"%5q%s", "qrs", 1, "rs", 3, 1, "flags of a non-conversion are dropped"},
      {"x%s", "yz", 0, "~", 0, 0, "literal mismatch"},
      {"%s  %s", "a b", 2, "b", 3, 1, "a run of pattern blanks is one element"},
  };
  for (const Case& c : cases) {
    Cursor cur(c.text);
    char out[SCANP_TEXT_LEN + 1] = "~";
    char out2[SCANP_TEXT_LEN + 1] = "~";
    int r = scanp(&cur.p, c.pat, out, out2);
    const char* stored = std::strcmp(c.pat, "%s  %s") == 0 ? out2 : out;
    EXPECT_EQ(r, c.result) << c.why;
    EXPECT_STREQ(stored, c.stored) << c.why;
    EXPECT_EQ(cur.p.len, c.len) << c.why;
    EXPECT_EQ(cur.p.done, c.done) << c.why;
  }
}

TEST(Scanner, NumberConversions) {
  struct Case {
    const char* pat;
    const char* text;
    int result;
    double value; /* stored value; 7 when untouched */
    int len;
    const char* why;
  };
  const Case cases[] = {
      {"%d", "-7x", 1, -7, 2, "stops at a non-digit"},
      {"%d", "-", 0, 7, 0, "a lone minus is no number"},
      {"%d", "+5", 0, 7, 0, "no plus sign"},
      {"%3d", "12a", 0, 7, 0, "exact width"},
      {"%<3d", "12a", 1, 12, 2, "at most the width"},
      {"%3d", "12345", 1, 123, 3, "width cuts the digits"},
      {"%D", "  42  x", 1, 42, 6, "whitespace around counted"},
      {"%4D", "  42  x", 1, 42, 4, "width counts the whitespace"},
      {"%d", "99999999999", 0, 7, 0, "beyond an int"},
      {"%d", "2147483647", 1, 2147483647.0, 10, "largest int"},
      {"%!-!d", "-", 1, -9999, 1, "missing text"},
      {"%!--!d", "-x", 0, 7, 0, "missing text must be whole"},
      {"%1!--!d", "-x", 1, -9999, 1, "missing text compared up to the width"},
      {"%!MM!d", "x", 0, 7, 0, "neither number nor missing text"},
      {"%f", "1.5e3", 1, 1500, 5, "exponent"},
      {"%f", "-2.5", 1, -2.5, 4, "negative"},
      {"%f", ".", 1, 0, 1, "a lone point reads as 0"},
      {"%f", "1.2.3", 1, 1.2, 3, "one point only"},
      {"%f", "3e", 1, 3, 1, "exponent letter without digits"},
      {"%f", "3e+x", 1, 3, 1, "exponent sign without digits"},
      {"%f", "-", 0, 7, 0, "a lone minus"},
      {"%F", "  12E ", 1, 12, 4, "exponent letter left unread"},
      {"%F", "  12 x", 1, 12, 5, "trailing whitespace taken"},
      {"%f", "1e999", 0, 7, 0, "beyond a float"},
      {"%!-!f", "-", 1, -9999, 1, "missing float"},
      {"%!NA!F", "NA", 1, -9999, 2, "missing text for F"},
  };
  for (const Case& c : cases) {
    Cursor cur(c.text);
    const bool floating = std::strchr(c.pat, 'f') || std::strchr(c.pat, 'F');
    int i = 7;
    float f = 7.0f;
    int r = floating ? scanp(&cur.p, c.pat, &f) : scanp(&cur.p, c.pat, &i);
    EXPECT_EQ(r, c.result) << c.pat << " on " << c.text << ": " << c.why;
    if (floating)
      EXPECT_FLOAT_EQ(f, static_cast<float>(c.value)) << c.why;
    else
      EXPECT_EQ(i, static_cast<int>(c.value)) << c.why;
    EXPECT_EQ(cur.p.len, c.len) << c.why;
  }
}

TEST(Scanner, RecordFieldsAndCounters) {
  {
    Cursor cur("- 45.5 ");
    float a = 0, b = 0;
    int n = 0;
    EXPECT_EQ(scanp(&cur.p, "%!-!f %n%!-!f ", &a, &n, &b), 3);
    EXPECT_EQ(a, -9999.0f);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(b, 45.5f);
    EXPECT_EQ(cur.p.assigned, 3);
    EXPECT_EQ(cur.p.done, 1);
  }
  {
    Cursor cur("abc def ghi");
    EXPECT_EQ(scanp(&cur.p, "%*s %*s "), 2);
    EXPECT_EQ(cur.p.assigned, 0);
    EXPECT_EQ(cur.p.matched, 2);
    EXPECT_EQ(cur.p.len, 8);
    EXPECT_EQ(cur.p.off, 0) << "scanp never moves the cursor";
    scanp_inc(&cur.p);
    char w[SCANP_TEXT_LEN + 1];
    EXPECT_EQ(scanp(&cur.p, "%s", w), 1);
    EXPECT_STREQ(w, "ghi");
  }
  {
    /* A numeric field that finds neither a number nor its missing text ends
     * the scan: the next value must not land in the wrong variable. */
    Cursor cur("x 5");
    int a = 7, b = 7;
    EXPECT_EQ(scanp(&cur.p, "%!-!d %d", &a, &b), 0);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(cur.p.done, 0);
  }
  {
    Cursor cur("12 ab 7");
    int a = 0, b = 0;
    EXPECT_EQ(scanp(&cur.p, "%d %d %d", &a, &b, &b), 1) << "values before the failure stay";
    EXPECT_EQ(a, 12);
    EXPECT_EQ(cur.p.len, 3);
  }
  {
    Cursor cur("xyz");
    char c[4] = "~~~";
    EXPECT_EQ(scanp(&cur.p, "%c", c), 1);
    EXPECT_EQ(std::string(c, 3), "x~~") << "one character, no terminator";
    char c3[4] = "~~~";
    EXPECT_EQ(scanp(&cur.p, "%3c", c3), 1);
    EXPECT_EQ(std::string(c3, 3), "xyz");
  }
}

TEST(Scanner, LongMatchesStayWithinTheirDestination) {
  const std::string word(120, 'w');
  struct Case {
    const char* pat;
    int len;
  };
  /* Stored texts stop at SCANP_TEXT_LEN characters; skipped ones do not. */
  const Case cases[] = {{"%s", 80},    {"%S", 80},   {"%[w]", 80},   {"%A", 80},
                        {"%<79s", 79}, {"%*S", 120}, {"%*[w]", 120}, {"%*s", 80}};
  for (const Case& c : cases) {
    Cursor cur(word);
    std::vector<char> out(static_cast<size_t>(SCANP_TEXT_LEN + 1), '~');
    const bool stores = c.pat[1] != '*';
    int r = stores ? scanp(&cur.p, c.pat, out.data()) : scanp(&cur.p, c.pat);
    EXPECT_EQ(r, 1) << c.pat;
    EXPECT_EQ(cur.p.len, c.len) << c.pat;
    if (stores) {
      EXPECT_EQ(std::strlen(out.data()), static_cast<size_t>(c.len)) << c.pat;
    }
  }
}

TEST(Scanner, BadCallsAndPatterns) {
  Cursor cur("abc");
  char out[SCANP_TEXT_LEN + 1];
  EXPECT_EQ(scanp(&cur.p, "", out), -1);
  scanp_off(&cur.p, 3);
  EXPECT_EQ(scanp(&cur.p, "%s", out), -1) << "cursor at the end";
  EXPECT_EQ(cur.p.matched, 0);
  scanp_off(&cur.p, -2);
  EXPECT_EQ(scanp(&cur.p, "%s", out), -1);
  scanp_off(&cur.p, 0);
  for (const char* pat : {"%(a|b", "%[abc", "%!-d", "%", "%*<5"}) {
    auto r = kez_test::capture([&] { EXPECT_EQ(scanp(&cur.p, pat, out), 0) << pat; });
    EXPECT_EQ(cur.p.done, 0) << pat;
    EXPECT_NE(r.err.find("scanp:"), std::string::npos) << pat;
  }
}

TEST(Scanner, CursorOperations) {
  Cursor cur("one two three");
  EXPECT_EQ(scanp_search(&cur.p, "two"), 1);
  EXPECT_EQ(scanp_get_off(&cur.p), 4);
  EXPECT_STREQ(scanp_str(&cur.p), "two three");
  EXPECT_EQ(scanp_search(&cur.p, "one"), 1) << "found before the offset too";
  EXPECT_EQ(scanp_get_off(&cur.p), 0);
  EXPECT_EQ(scanp_search(&cur.p, "four"), 0);
  EXPECT_EQ(scanp_get_off(&cur.p), 0);
  scanp_inc_off(&cur.p, 8);
  EXPECT_EQ(scanp_char(&cur.p, 0), 't');
  EXPECT_EQ(scanp_char(&cur.p, 5), '\0') << "past the end";
  EXPECT_EQ(scanp_char(&cur.p, -9), '\0') << "before the start";
  EXPECT_EQ(scanp_replace(&cur.p, 1, 'X'), 'X');
  EXPECT_STREQ(cur.text.data(), "one two tXree");
  EXPECT_EQ(scanp_replace(&cur.p, 100, 'X'), '\0');

  /* A NUL written into the text ends the scan there. */
  scanp_replace(&cur.p, 2, '\0');
  char out[SCANP_TEXT_LEN + 1];
  EXPECT_EQ(scanp(&cur.p, "%S", out), 1);
  EXPECT_STREQ(out, "tX");

  auto r = kez_test::capture([&] { scanp_print(&cur.p); });
  EXPECT_EQ(r.out, "scanp:tX:2:1:1:1\n");
}

/* Plain "%d %f %s" records agree with the C library's reading of them. */
TEST(Scanner, AgreesWithSscanfOnPlainRecords) {
  std::mt19937 rng(12345);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char* blanks[] = {" ", "  ", "\t", " \t ", "\n", "\r\n"};
  const std::string word_chars = "abcXYZ0123456789-._/#%()";
  auto digits = [&](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + pick(10));
    return s;
  };
  for (int trial = 0; trial < 3000; ++trial) {
    std::string d = (pick(3) == 0 ? "-" : "") + digits(1 + pick(9));
    std::string f = (pick(3) == 0 ? "-" : "") + digits(pick(6));
    if (pick(2) == 0) f += "." + digits(pick(5));
    if (f.find_first_of("0123456789") == std::string::npos) f += digits(1);
    if (pick(4) == 0) f += std::string(pick(2) ? "e" : "E") + (pick(2) ? "-" : "") + digits(1);
    std::string w;
    for (int i = 0, n = 1 + pick(20); i < n; ++i)
      w += word_chars[static_cast<size_t>(pick(static_cast<int>(word_chars.size())))];
    std::string fields[] = {d, f, w};
    /* Whole records, and records cut after a field or a separator. */
    const int cut = pick(6);
    std::string line;
    for (int k = 0; k < 3; ++k) {
      if (k > 0) {
        if (cut == 2 * k - 1) break;
        line += blanks[pick(6)];
      }
      if (cut == 2 * k) break;
      line += fields[k];
    }
    line += pick(2) ? blanks[pick(6)] : "";
    if (line.empty() || std::isspace(static_cast<unsigned char>(line[0]))) continue;

    int di = -1, si = -1;
    float df = -1, sf = -1;
    char dw[SCANP_TEXT_LEN + 1] = "", sw[SCANP_TEXT_LEN + 1] = "";
    Cursor cur(line);
    int ours = scanp(&cur.p, "%d %f %s", &di, &df, dw);
    int theirs = std::sscanf(line.c_str(), "%d %f %80s", &si, &sf, sw);
    if (theirs == EOF) theirs = 0;
    ASSERT_EQ(ours, theirs) << "[" << line << "]";
    if (ours >= 1) {
      ASSERT_EQ(di, si) << line;
    }
    if (ours >= 2) {
      ASSERT_EQ(df, sf) << line;
    }
    if (ours >= 3) {
      ASSERT_STREQ(dw, sw) << line;
    }
  }
}

} // namespace
