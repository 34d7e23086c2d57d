#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

/* Looks every code up in a table of the given text; "name|" per code, or
 * "null|" when the table cannot be read. */
std::string lookups(const std::string& table, std::initializer_list<int> codes) {
  TempDir dir;
  if (!table.empty()) write_file(dir.file("mod_name.lup"), table);
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    std::string out;
    for (int code : codes) {
      char name[VAR_MODEL_LEN] = "untouched";
      const char* got = VAR_model(name, code);
      out += got ? std::string(got) : "null:" + std::string(name);
      out += "|";
    }
    std::printf("%s", out.c_str());
    return 0;
  });
  return r.out;
}

TEST(ModelNames, SourceAndModelPickTheFirstMatchingLine) {
  const std::string table =
      "# model names\n"
      "7:2   seven two\n"
      "\n"
      "2     any two  \r\n"
      "   8:2 eight two\n"
      "junk 5 five\n"
      "5\n"
      "6:x bad\n"
      "1500 fifteen hundred\n"
      "7:3 seven three\n";
  struct Case {
    int code;
    const char* name;
    const char* why;
  };
  const Case cases[] = {
      {7002, "seven two", "source and model"},
      {2, "any two", "a model alone takes only lines without a source"},
      {8002, "any two", "the first line that serves source 8"},
      {9002, "any two", "a source no line names"},
      {7003, "seven three", "after skipped lines"},
      {5, "", "a line without a name is skipped"},
      {3, "", "a model only a source lists"},
      {1500, "", "above 1000 the number splits into source and model"},
      {7002, "seven two", "asked again"},
  };
  std::string want;
  for (const Case& c : cases) want += std::string(c.name) + "|";
  EXPECT_EQ(lookups(table, {7002, 2, 8002, 9002, 7003, 5, 3, 1500, 7002}), want);
}

TEST(ModelNames, LongNamesAndTheShippedTable) {
  const std::string long_name(200, 'n');
  EXPECT_EQ(lookups("1 " + long_name + "\n", {1}), long_name.substr(0, VAR_MODEL_LEN - 1) + "|")
      << "the C form cuts at its buffer";

  auto r = run_child([] {
    RES_put("file_path", KEZ_DATA_DIR);
    std::string out;
    for (int code : {7083, 7039, 7086, 98001, 83, 7999}) {
      std::string name;
      VAR_model(&name, code);
      out += name + "|";
    }
    std::printf("%s", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "eta|ngm|ruc|ecmwf|eta||");
}

TEST(ModelNames, EachFolderHasItsOwnTable) {
  TempDir a, b;
  write_file(a.file("mod_name.lup"), "7 from a\n");
  write_file(b.file("mod_name.lup"), "7 from b\n");
  auto r = run_child([&] {
    std::string out, name;
    for (const TempDir* dir : {&a, &b, &a}) {
      RES_put("file_path", dir->path().c_str());
      VAR_model(&name, 7);
      out += name + "|";
    }
    /* The same folder again answers from what was read. */
    write_file(a.file("mod_name.lup"), "7 changed\n");
    VAR_model(&name, 7);
    std::printf("%s%s", out.c_str(), name.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "from a|from b|from a|from a");
}

TEST(ModelNames, MissingTableIsTriedAgain) {
  TempDir dir;
  auto r = run_child([&] {
    RES_put("file_path", dir.path().c_str());
    char name[VAR_MODEL_LEN] = "untouched";
    if (VAR_model(name, 7) != nullptr || std::strcmp(name, "untouched") != 0) return 1;
    std::string text = "kept";
    if (VAR_model(&text, 7) != -1 || text != "kept") return 2;
    write_file(dir.file("mod_name.lup"), "7 later\n");
    return VAR_model(name, 7) && std::strcmp(name, "later") == 0 ? 0 : 3;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "VAR_model: Unable to open file: " + dir.path() +
                       "/mod_name.lup\nVAR_model: Unable to open file: " + dir.path() + "/mod_name.lup\n");
}

} // namespace
