#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

using kez_test::run_child;
using kez_test::TempDir;
using kez_test::write_file;

constexpr int X = -9999;

/* A folder of 3-hourly surface files of 5 January 1998, 00 to 12 h, each
 * 150 bytes but the 12 h file, which has 50. */
class DatedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* hour : {"00", "03", "06", "09"})
      write_file(dir.file(std::string("980105") + hour + ".sfc"), std::string(150, 'x'));
    write_file(dir.file("98010512.sfc"), std::string(50, 'x'));
  }

  /* Selects the hourly template on the folder, with the current time fixed. */
  void setup_child(const char* curtime) const {
    if (curtime) setenv("kezcurtime", curtime, 1);
    RES_put("data_path", dir.path().c_str());
    FILE_set_name("@%D/%y%m%d%h.sfc");
  }

  /* The name relative to the folder. */
  std::string local(const std::string& name) const {
    const std::string prefix = dir.path() + "/";
    return name.compare(0, prefix.size(), prefix) == 0 ? name.substr(prefix.size()) : name;
  }

  TempDir dir;
};

long int secs_of(const char* seq) {
  Date d;
  DATE_init(&d);
  DATE_decode_seq(seq, &d);
  return DATE_num_sec(&d);
}

struct CurrentCase {
  const char* spec;
  const char* curtime;
  int fixed_hour;
  int min_size;
  const char* name;
  const char* time; /* the result, YYYYMMDDHHNN */
  const char* why;
};

TEST_F(DatedFiles, TimeTextsNameTheRightFiles) {
  const char* now = "199801051420";
  const CurrentCase cases[] = {
      {"la", now, X, 0, "98010512.sfc", "199801051200", "newest file along the hourly step"},
      {nullptr, now, X, 0, "98010512.sfc", "199801051200", "no text is la"},
      {"LA", "#199801051420", X, 0, "98010512.sfc", "199801051200", "kezcurtime with #"},
      {"la", now, -3, 0, "98010512.sfc", "199801051200", "3-hourly fixed part"},
      {"la", now, X, 100, "98010509.sfc", "199801050900", "run-time minimum size"},
      {"la#2", "199801051620", X, 0, "98010514.sfc", "199801051400", "two tries, then stop"},
      {"-6", now, X, 0, "98010508.sfc", "199801050800", "6 hours back"},
      {"1d6:30", now, X, 0, "98010407.sfc", "199801040700", "a day, 6:30 back"},
      {"+2", now, X, 0, "98010516.sfc", "199801051600", "2 hours on"},
      {"la-12", now, X, 0, "98010500.sfc", "199801050000", "12 hours before the newest"},
      {"-3la", now, X, 0, "98010509.sfc", "199801050900", "back 3 hours, then search"},
      {"+la", "199801050120", X, 0, "98010503.sfc", "199801050300", "search forward"},
      {"#1998010512", now, X, 0, "98010512.sfc", "199801051200", "a given date"},
      {"#199801", now, X, 0, "98010100.sfc", "199801010000", "a month: its first hour"},
      {"", now, 18, 0, "98010418.sfc", "199801041800", "fixed hour after now: the day before"},
      {"", now, 12, 0, "98010512.sfc", "199801051200", "fixed hour before now: today"},
  };
  for (const CurrentCase& c : cases) {
    auto r = run_child([&] {
      setup_child(c.curtime);
      Date fixed{X, X, X, X, X, c.fixed_hour, X, 0};
      FILE_set_time(&fixed);
      FILE_set_min_size(c.min_size);
      char name[FILE_PATH_LEN];
      long int secs = FILE_set_current(c.spec, name);
      std::printf("%s %ld %s", local(name).c_str(), secs, local(FILE_get_filename(nullptr)).c_str());
      return 0;
    });
    const std::string label = std::string(c.spec ? c.spec : "(null)") + ": " + c.why;
    EXPECT_EQ(r.status, 0) << label;
    EXPECT_EQ(r.out, std::string(c.name) + " " + std::to_string(secs_of(c.time)) + " " + c.name) << label;
  }
}

TEST_F(DatedFiles, NoTimeCodeMeansOneTry) {
  auto r = run_child([&] {
    setup_child("199801051420");
    FILE_set_name(("@" + dir.path() + "/fixed.sfc").c_str());
    char name[FILE_PATH_LEN];
    FILE_set_current("la", name);
    std::printf("%s %d", local(name).c_str(), FILE_get_late_off());
    return 0;
  });
  EXPECT_EQ(r.out, "fixed.sfc -9999");
}

/* ---- the input-file dialogue ---- */

struct DialogueCase {
  const char* input;
  int status;
  int not_found;      /* "File not found" messages */
  const char* chosen; /* the name chosen, "" none */
  const char* why;
};

TEST_F(DatedFiles, InputFileDialogue) {
  const DialogueCase cases[] = {
      {"a1\na2\na3\na4\n", 10, 4, "", "four missing names"},
      {"list\nx\ny\nz\n", 10, 3, "", "list is one of the four tries"},
      {"exit\n", 0, 0, "", "exit"},
      {"\n98010509\n", 1, 1, "98010509.sfc", "a blank answer is asked again"},
      {"nope\nla\n", 1, 1, "98010512.sfc", "la finds the newest"},
      {"cu-2\n", 1, 0, "98010512.sfc", "cu and an offset"},
      {"#1998010506\n", 1, 0, "98010506.sfc", "a date"},
      {"set foo bar\n98010503\n", 1, 0, "98010503.sfc", "set is no try"},
      {"a1\n", 10, 1, "", "end of input after one missing name is a failure"},
      {"", 10, 0, "", "no answer at all is a failure"},
      {"list\n", 10, 0, "", "end of input after a listing"},
  };
  for (const DialogueCase& c : cases) {
    auto r = run_child(
        [&] {
          setup_child("199801051420");
          char name[FILE_PATH_LEN] = "";
          int found = FILE_get_file("Enter the surface filename: ", name);
          std::printf("\nCHOSEN %s\n", local(name).c_str());
          return found;
        },
        c.input);
    EXPECT_EQ(r.status, c.status) << c.why;
    size_t count = 0;
    for (size_t at = r.err.find("File not found: "); at != std::string::npos;
         at = r.err.find("File not found: ", at + 1))
      ++count;
    EXPECT_EQ(count, static_cast<size_t>(c.not_found)) << c.why << "\n" << r.err;
    EXPECT_EQ(r.out.rfind("List of available files:\n", 0), 0u) << c.why;
    if (*c.chosen) {
      EXPECT_NE(r.out.find(std::string("CHOSEN ") + c.chosen), std::string::npos) << c.why;
    }
    if (c.status == 10) {
      EXPECT_EQ(r.out.find("CHOSEN"), std::string::npos) << c.why;
    }
  }
}

TEST_F(DatedFiles, BlankAnswerNeverReadsStandardInput) {
  auto r = run_child(
      [&] {
        setup_child("199801051420");
        char name[FILE_PATH_LEN] = "";
        FILE_get_file("Enter the surface filename: ", name);
        return 3;
      },
      "\n\n\n\n");
  EXPECT_EQ(r.status, 10);
}

struct ResourceCase {
  const char* resource;
  const char* value;
  bool batch;
  int status;
  const char* out; /* a text the output holds */
  const char* why;
};

TEST_F(DatedFiles, InputFileFromResources) {
  const ResourceCase cases[] = {
      {"filename", "98010509", false, 1, "CHOSEN 98010509.sfc", "a named file"},
      {"filename", "98010515,98010500", false, 0, "CHOSEN 98010515.sfc", "missing: goes on"},
      {"filename", "LIST", false, 0, "98010512.sfc", "list lists and ends"},
      {"current", "la", false, 1, "Current filename: ", "current"},
      {"current", "", false, 10, "", "current without a value is this hour's file, missing here"},
      {"current", "+5", false, 10, "", "a missing current file ends the program"},
      {nullptr, nullptr, true, 1, "CHOSEN 98010512.sfc", "batch mode takes the newest"},
  };
  for (const ResourceCase& c : cases) {
    auto r = run_child([&] {
      setup_child("199801051420");
      if (c.resource) RES_put(c.resource, c.value);
      if (c.batch) FLAG_set(19, 1);
      char name[FILE_PATH_LEN] = "";
      int found = FILE_get_file("Enter the surface filename: ", name);
      std::printf("\nCHOSEN %s\n", local(name).c_str());
      return found;
    });
    EXPECT_EQ(r.status, c.status) << c.why;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << c.why << "\n" << r.out;
    if (c.status == 10) {
      EXPECT_NE(r.err.find("File not found: "), std::string::npos) << c.why;
    }
  }
}

TEST_F(DatedFiles, CurrentWithoutAValueIsThisHoursFile) {
  auto r = run_child([&] {
    setup_child("199801050920");
    RES_put("current", "");
    char name[FILE_PATH_LEN] = "";
    int found = FILE_get_file("Enter: ", name);
    std::printf("CHOSEN %s", local(name).c_str());
    return found;
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("CHOSEN 98010509.sfc"), std::string::npos) << "not the newest, 12 h" << r.out;
  auto missing = run_child([&] {
    setup_child("199801051420");
    RES_put("current", "");
    char name[FILE_PATH_LEN] = "";
    return FILE_get_file("Enter: ", name);
  });
  EXPECT_EQ(missing.status, 10);
  EXPECT_NE(missing.err.find("File not found: " + dir.path() + "/98010514.sfc"), std::string::npos) << missing.err;
}

TEST_F(DatedFiles, LatestSearchStepsAreBounded) {
  auto r = run_child([&] {
    setup_child("199801051420");
    FILE_set_min_size(100000); /* no file qualifies */
    char name[FILE_PATH_LEN];
    std::printf("%ld", FILE_set_current("la#999999", name));
    return 0;
  });
  EXPECT_EQ(r.out, std::to_string(secs_of("199801051400") - 10000L * 3600)) << "ten thousand steps back";
  EXPECT_NE(r.err.find("FILE_set_current: Latest-file search cut to 10000 steps"), std::string::npos) << r.err;
}

TEST_F(DatedFiles, FileOnlyNeverEndsTheProgram) {
  auto missing_current = run_child([&] {
    setup_child("199801051420");
    RES_put("current", "+5");
    char name[FILE_PATH_LEN] = "";
    return FILE_get_file_only("Enter: ", name) == 0 ? 0 : 1;
  });
  EXPECT_EQ(missing_current.status, 0);
  EXPECT_EQ(missing_current.err, "");

  auto one_question = run_child(
      [&] {
        setup_child("199801051420");
        char name[FILE_PATH_LEN] = "";
        int first = FILE_get_file_only("Enter: ", name);
        int second = FILE_get_file_only("Enter: ", name);
        return first * 10 + second;
      },
      "nope\nlist\n98010503\n");
  EXPECT_EQ(one_question.status, 1) << "a missing name, then list and a name";
}

/* ---- sequences ---- */

struct SpanCase {
  const char* tmpl_step; /* "3" for a 3-hourly template, "" hourly */
  const char* num_hour;  /* null: not set */
  const char* filename;  /* null: not set */
  const char* names;     /* the hours named, then "end" */
  int num_file;
  const char* why;
};

TEST_F(DatedFiles, SequencesOfFiles) {
  const SpanCase cases[] = {
      {"3", "6", nullptr, "06 09 12 end", 21600, "a span after the start"},
      {"3", "-6", nullptr, "00 03 06 end", -21600, "a span before the start"},
      {"3", "-7", nullptr, "21 00 03 06 end", -25200, "a span rounded down to whole steps"},
      {"", "12,6", nullptr, "06 12 18 end", 43200, "a step asked for"},
      {"", "12,7", nullptr, "06 13 end", 43200, "a step that is no multiple stays 7 hours"},
      {"3", "12,7", nullptr, "06 12 18 end", 43200, "a step cut to whole template steps"},
      {"3", "2,0:30", nullptr, "06 end", 7200, "a step below the template's"},
      {"3", nullptr, nullptr, "06 end", 0, "no span: the current name once"},
      {"3", "-0:30", nullptr, "03 06 end", -1800, "minutes before the start"},
      {"", nullptr, "98010500,98010503,98010506", "00 03 06 end", 2, "listed names"},
      {"", "6", "98010506", "06 07 08 09 10 11 12 end", 21600, "one name and a span"},
      {"", "6", "la", "06 07 08 09 10 11 12 end", 21600, "la is no list"},
      {"3", "777777,77777", nullptr, "06 end", 0, "a span past the bound is refused"},
      {"3", "-596523", nullptr, "06 end", 0, "so is a span far before the start"},
      {"3", "6,999999", nullptr, "06 09 12 end", 21600, "a step past the bound is the template's"},
      {"3", "100000,50000", nullptr, "06 12 18 end", 360000000, "the largest span and step end"},
  };
  for (const SpanCase& c : cases) {
    auto r = run_child([&] {
      setup_child("199801051420");
      FILE_set_name((std::string("@%D/%y%m%d%") + c.tmpl_step + "h.sfc").c_str());
      if (c.num_hour) RES_put("num_hour", c.num_hour);
      if (c.filename) RES_put("filename", c.filename);
      Date start{1998, 1, 5, X, X, 6, 0, 0};
      char name[FILE_PATH_LEN];
      FILE_set_date(&start, name); /* the current name */
      FILE_first(&start);
      std::string out;
      for (int i = 0; i < 10 && FILE_get_next(name); ++i) out += local(name).substr(6, 2) + " ";
      std::printf("%send %d", out.c_str(), FILE_get_num_file());
      return 0;
    });
    EXPECT_EQ(r.out, std::string(c.names) + " " + std::to_string(c.num_file)) << c.why;
  }
}

TEST_F(DatedFiles, AStepOfDecadesBeforeTheStart) {
  /* A step longer than the span: the sequence begins one step back. */
  auto r = run_child([&] {
    setup_child("199801051420");
    FILE_set_name_conv("99999999999 %D/%y%m%d%h.sfc");
    RES_put("num_hour", "-6");
    Date start{1998, 1, 5, X, X, 6, 0, 0};
    char name[FILE_PATH_LEN];
    FILE_first(&start);
    std::string out;
    for (int i = 0; i < 10 && FILE_get_next(name); ++i) out += local(name) + " ";
    std::printf("%send", out.c_str());
    return 0;
  });
  EXPECT_EQ(r.out, "29121802.sfc 98010506.sfc end"); /* 2147483647 s before */
}

TEST_F(DatedFiles, TypedFullPathSequenceStaysInItsFolder) {
  TempDir other;
  for (const char* hour : {"06", "07", "08"})
    write_file(other.file(std::string("980105") + hour + ".sfc"), std::string(150, 'x'));
  auto r = run_child(
      [&] {
        setup_child("199801051420");
        RES_put("num_hour", "2");
        char name[FILE_PATH_LEN];
        FILE_get_file("Enter: ", name);
        Date start;
        FILE_get_date(&start);
        FILE_first(&start);
        while (FILE_get_next(name)) std::printf("%s\n", name);
        FILE_next_file(name);
        std::printf("%s\n", name);
        return 0;
      },
      other.file("98010506.sfc") + "\n");
  const std::string b = other.path() + "/98010";
  EXPECT_NE(r.out.find(b + "506.sfc\n" + b + "507.sfc\n" + b + "508.sfc\n" + b + "507.sfc\n"), std::string::npos)
      << r.out;
}

TEST_F(DatedFiles, NextAndPreviousFilesMove) {
  auto r = run_child([&] {
    setup_child("199801051420");
    FILE_set_name("@%D/%y%m%d%3h.sfc");
    Date start{1998, 1, 5, X, X, 6, 0, 0};
    char name[FILE_PATH_LEN];
    FILE_set_date(&start, name);
    FILE_first(&start);
    std::string out;
    for (auto step : {FILE_next_file, FILE_next_file, FILE_prev_file, FILE_prev_file, FILE_prev_file}) {
      step(name);
      out += local(name).substr(6, 2) + " ";
    }
    Date d = start;
    std::printf("%s%d %d", out.c_str(), FILE_set_date_off(&d, 32400, name), FILE_set_date_off(&d, -3600, name));
    return 0;
  });
  EXPECT_EQ(r.out, "09 12 09 06 03 3 0");
}

TEST_F(DatedFiles, TheFileDateOfTheChosenFile) {
  auto r = run_child(
      [&] {
        setup_child("199801051420");
        char name[FILE_PATH_LEN];
        FILE_get_file("Enter: ", name);
        Date d;
        FILE_get_date(&d);
        std::printf("\nDATE %d %d %d %d %d\n", d.year, d.month, d.day, d.hour, d.min);
        return 0;
      },
      "98010509\n");
  EXPECT_NE(r.out.find("DATE 1998 1 5 9 -9999"), std::string::npos) << r.out;
}

/* The dialogue lists the files with their folder, as the data path names
 * it; a listed name typed back is that file, with its date, rather than
 * the folder added twice. The listing says how to leave. */
TEST_F(DatedFiles, ListedNamesAreTakenAsListed) {
  const std::string obs = dir.file("obs");
  kez_test::run_command("mkdir -p " + obs + " && cp " + dir.file("98010509.sfc") + " " + obs + "/");
  const struct {
    const char* answer;
    const char* why;
  } cases[] = {
      {"obs/98010509.sfc", "the name as listed"},
      {"98010509.sfc", "the name without its folder, as the template builds it"},
  };
  for (const auto& c : cases) {
    auto r = run_child(
        [&] {
          if (::chdir(dir.path().c_str()) != 0) return 3;
          RES_put("data_path", "obs");
          FILE_set_name("@%D/%y%m%d%h.sfc");
          char name[FILE_PATH_LEN] = "";
          const int found = FILE_get_file("Enter: ", name);
          Date d;
          FILE_get_date(&d);
          std::printf("\nCHOSEN %s\nDATE %d %d %d %d\n", name, d.year, d.month, d.day, d.hour);
          return found;
        },
        std::string(c.answer) + "\n");
    EXPECT_EQ(r.status, 1) << c.why << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("obs/98010509.sfc\n"), std::string::npos) << "the listing\n" << r.out;
    EXPECT_NE(r.out.find("CHOSEN obs/98010509.sfc\n"), std::string::npos) << c.why << "\n" << r.out;
    EXPECT_NE(r.out.find("DATE 1998 1 5 9\n"), std::string::npos) << c.why << "\n" << r.out;
    EXPECT_NE(r.out.find("\"exit\" to leave"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("File not found"), std::string::npos) << c.why << "\n" << r.err;
  }
}

} // namespace
