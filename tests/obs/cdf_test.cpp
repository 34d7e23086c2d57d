#include "cdf_lib.h"
#include "kez.h"
#include "kez_test.h"
#include "kezcdf.h"
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using kez_test::capture;
using kez_test::have_program;
using kez_test::run_command;
using kez_test::TempDir;
using kez_test::write_file;

/* Compiles a CDL text into a netCDF file with ncgen. */
bool compile(const TempDir& dir, const std::string& name, const std::string& cdl) {
  write_file(dir.file(name + ".cdl"), cdl);
  return run_command("ncgen -o " + dir.file(name) + " " + dir.file(name + ".cdl")) == 0;
}

/* Output of a Python program reading a file with the netCDF4 package. */
std::string python(const std::string& path, const std::string& body) {
  const std::string prog = "import netCDF4\nd = netCDF4.Dataset('" + path +
                           "')\nd.set_auto_chartostring(False)\nd.set_auto_mask(False)\n" + body;
  std::string out;
  write_file(path + ".py", prog);
  EXPECT_EQ(run_command("/usr/bin/python3 " + path + ".py", &out), 0) << prog;
  return out;
}

class CdfLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have_program("ncgen") || !have_program("ncdump")) GTEST_SKIP() << "netcdf-bin missing";
    CDF_print_errors(0);
  }
  TempDir dir;
};

TEST(CdfAbsent, VariablesThatAreNotThereReadMissingAndWriteNothing) {
  CDF_set_fd(0);
  char str[8] = "keep";
  float fa[2] = {1, 2};
  double da[2] = {3, 4};
  char ba[2] = {5, 6};
  EXPECT_EQ(CDF_get_float(CDF_NO_ID), -9999.0f);
  EXPECT_EQ(CDF_get_double(CDF_NO_ID), -9999.0);
  EXPECT_EQ(CDF_get_long(CDF_NO_ID), -9999);
  EXPECT_EQ(CDF_get_byte(CDF_NO_ID), -1);
  EXPECT_EQ(CDF_get_char(CDF_NO_ID), ' ');
  EXPECT_EQ(CDF_get_str(CDF_NO_ID, 7, str), 0);
  EXPECT_EQ(CDF_get_float_array(CDF_NO_ID, fa), -1);
  EXPECT_EQ(CDF_get_double_array(CDF_NO_ID, da), -1);
  EXPECT_EQ(CDF_get_byte_array(CDF_NO_ID, ba), -1);
  EXPECT_STREQ(str, "keep");
  EXPECT_EQ(fa[0], 1);
  EXPECT_EQ(da[1], 4);
  EXPECT_EQ(ba[0], 5);
  EXPECT_EQ(CDF_put_str(CDF_NO_ID, "x"), 0);
  EXPECT_EQ(CDF_put_float(CDF_NO_ID, 1), 0);
  EXPECT_EQ(CDF_put_float_array(CDF_NO_ID, fa), 0);
  EXPECT_EQ(CDF_put_long(CDF_NO_ID, 1), 0);
  EXPECT_EQ(CDF_put_short(CDF_NO_ID, 1), 0);
  EXPECT_EQ(CDF_put_byte(CDF_NO_ID, 1), 0);
  EXPECT_EQ(CDF_put_byte_array(CDF_NO_ID, ba), 0);
  EXPECT_EQ(CDF_put_char(CDF_NO_ID, 'a'), 0);
  /* A file that failed to open makes every variable absent. */
  CDF_set_fd(CDF_NO_ID);
  EXPECT_EQ(CDF_get_float(0), -9999.0f);
  EXPECT_EQ(CDF_put_float(0, 1), 0);
  EXPECT_EQ(CDF_get_var("t"), -1);
}

TEST(CdfAbsent, CountsBeyondTenAndUnknownAccessAreRefused) {
  CDF_print_errors(0);
  auto out = capture([] {
    EXPECT_EQ(CDF_set_pos(11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(CDF_set_range(-1), -1);
    EXPECT_EQ(CDF_set_shape(12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -1);
    EXPECT_EQ(CDF_def_var("v", CDF_FLOAT, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), -1);
  });
  EXPECT_NE(out.err.find("CDF_set_pos: 11 dimensions"), std::string::npos) << out.err;
  EXPECT_NE(out.err.find("CDF_def_var:"), std::string::npos);
  CDF_set_fd(42);
  out = capture([] { EXPECT_EQ(CDF_open("/nonexistent/x.nc", 3), -1); });
  EXPECT_NE(out.err.find("CDF_open: Invalid access 3"), std::string::npos);
  EXPECT_EQ(CDF_get_dim_size(CDF_RECORD_DIM), -1); /* fd 42 is no file */
  EXPECT_EQ(CDF_open("/nonexistent/x.nc", CDF_READ), -1);
  EXPECT_EQ(CDF_get_float(0), -9999.0f);
}

/* The writer's calling order, checked by python3-netcdf4 and ncdump. */
TEST_F(CdfLayer, WrittenFileCarriesTypesPositionsAndAttributes) {
  const std::string path = dir.file("w.nc");
  ASSERT_GE(CDF_open(path.c_str(), CDF_CREATE), 0);
  int rec = CDF_def_dim("rec", 0);
  int len = CDF_def_dim("len", 8);
  int n25 = CDF_def_dim("n25", 25);
  ASSERT_GE(rec, 0);
  ASSERT_EQ(CDF_set_shape(2, rec, len), 0);
  int id = CDF_def_char_var("id");
  ASSERT_EQ(CDF_set_shape(1, rec), 0);
  int t = CDF_def_float_var("t");
  int n = CDF_def_long_var("n");
  int s = CDF_def_short_var("s");
  int b = CDF_def_byte_var("b");
  int arr = CDF_def_var("arr", CDF_FLOAT, 2, rec, n25);
  ASSERT_TRUE(id >= 0 && t >= 0 && n >= 0 && s >= 0 && b >= 0 && arr >= 0);
  EXPECT_EQ(CDF_put_base_att(t, "Temperature", "degF"), 0);
  EXPECT_EQ(CDF_put_base_att(n, nullptr, "count"), 0);
  EXPECT_EQ(CDF_put_base_att(CDF_NO_ID, "not the file's", "x"), 0);
  EXPECT_EQ(CDF_put_float_range_att(t, -100, 150), 0);
  EXPECT_EQ(CDF_put_long_range_att(n, 0, 99999), 0);
  EXPECT_EQ(CDF_put_fill_att(t), 0);
  EXPECT_EQ(CDF_put_long_fill_att(n, -9999), 0);
  EXPECT_EQ(CDF_put_glob_att("title", "test file"), 0);
  ASSERT_EQ(CDF_end_def(), 0);

  CDF_set_pos(1, 7);
  EXPECT_EQ(CDF_put_str(id, "zzzzzz"), 0);
  EXPECT_EQ(CDF_put_str(id, "abc"), 0); /* 4 characters: "abc" and its end */
  EXPECT_EQ(CDF_get_char(id), 'a');     /* [7][0]: the string call left entry 1 at 0 */
  CDF_set_pos(1, 2);
  EXPECT_EQ(CDF_put_str(id, "12345678"), 0); /* fills the dimension: no end */
  CDF_set_pos(1, 3);
  EXPECT_EQ(CDF_put_str(id, "ABCDEFGHIJKL"), 0); /* cut, not refused */
  CDF_set_pos(1, 7);
  EXPECT_EQ(CDF_put_float(t, 72.5f), 0);
  EXPECT_EQ(CDF_put_long(n, 123456), 0);
  EXPECT_EQ(CDF_put_long(n, 1L << 40), -1); /* does not fit 32 bits */
  EXPECT_EQ(CDF_put_short(s, -300), 0);
  EXPECT_EQ(CDF_put_byte(b, -5), 0);
  std::vector<float> row(25);
  for (int i = 0; i < 25; ++i) row[static_cast<size_t>(i)] = static_cast<float>(i) * 0.5f;
  CDF_set_range(2, 3, 1, 0, 25);
  EXPECT_EQ(CDF_put_float_array(arr, row.data()), 0);
  /* A float put into the short variable converts, one that cannot fit fails. */
  CDF_set_pos(1, 1);
  EXPECT_EQ(CDF_put_float(s, 12.0f), 0);
  EXPECT_EQ(CDF_put_float(s, 1e9f), -1);
  EXPECT_EQ(CDF_get_dim_size(CDF_RECORD_DIM), 8);
  EXPECT_EQ(CDF_get_dim_size(len), 8);
  ASSERT_EQ(CDF_close(), 0);

  std::string out = python(path,
                           "print(bytes(d['id'][7]), bytes(d['id'][2]), bytes(d['id'][3]))\n"
                           "print(d['t'][7], d['n'][7], d['s'][7], d['s'][1], d['b'][7])\n"
                           "print(list(d['arr'][3]) == [i * 0.5 for i in range(25)])\n"
                           "print(d['t'].long_name, d['t'].units, list(d['t'].valid_range), "
                           "d['t']._FillValue, d['n'].units, d.title, d.ncattrs())\n");
  EXPECT_EQ(out,
            "b'abc\\x00zz\\x00\\x00' b'12345678' b'ABCDEFGH'\n"
            "72.5 123456 -300 12 -5\n"
            "True\n"
            "Temperature degF [-100.0, 150.0] -9999.0 count test file ['title']\n");
  std::string cdl;
  ASSERT_EQ(run_command("ncdump -h " + path, &cdl), 0);
  for (const char* want :
       {"rec = UNLIMITED ; // (8 currently)", "char id(rec, len)", "float t(rec)", "int n(rec)", "short s(rec)",
        "byte b(rec)", "float arr(rec, n25)", "n:valid_range = 0, 99999", "n:_FillValue = -9999"})
    EXPECT_NE(cdl.find(want), std::string::npos) << want << "\n" << cdl;
}

TEST_F(CdfLayer, ReadingFollowsThePositionAndConvertsStoredTypes) {
  std::string cdl =
      "netcdf r { dimensions: recNum = UNLIMITED ; id_len = 6 ; lev = 3 ; short_len = 2 ;\n"
      "variables: char id(recNum, id_len) ; float t(recNum) ; double dd(recNum) ;\n"
      "  short sh(recNum) ; int n(recNum) ; byte b(recNum) ; float lv(recNum, lev) ;\n"
      "  char code(recNum, short_len) ;\n"
      "  :datetime = \"1997-05-01 12:00\" ; :filetime = 12 ;\n"
      "data: id = \"KDEN\", \"KBOS12\" ; t = 50.5, 60 ; dd = 1e300, 2.25 ; sh = -7, 8 ;\n"
      "  n = 100000, -1 ; b = -3, 4 ; lv = 1, 2, 3, 4, 5, 6 ; code = \"ab\", \"cd\" ; }\n";
  ASSERT_TRUE(compile(dir, "r.nc", cdl));
  ASSERT_GE(CDF_open(dir.file("r.nc").c_str(), CDF_READ), 0);
  int rec = CDF_get_dim("recNum");
  EXPECT_EQ(CDF_get_dim_size(rec), 2);
  EXPECT_EQ(CDF_get_dim_size(CDF_RECORD_DIM), 2);
  EXPECT_EQ(CDF_get_dim("absent"), -1);
  EXPECT_EQ(CDF_get_var("absent"), -1);
  int id = CDF_get_var("id"), t = CDF_get_var("t"), dd = CDF_get_var("dd"), sh = CDF_get_var("sh"),
      n = CDF_get_var("n"), b = CDF_get_var("b"), lv = CDF_get_var("lv"), code = CDF_get_var("code");

  char buf[16];
  CDF_set_pos(1, 1);
  EXPECT_EQ(CDF_get_str(id, 6, buf), 1);
  EXPECT_STREQ(buf, "KBOS12");
  /* A string dimension shorter than the caller's length reads what is there. */
  EXPECT_EQ(CDF_get_str(code, 10, buf), 1);
  EXPECT_STREQ(buf, "cd");
  CDF_set_pos(1, 0);
  struct Num {
    double got, want;
    const char* what;
  };
  const Num nums[] = {
      {CDF_get_float(t), 50.5, "float as float"},
      {CDF_get_double(t), 50.5, "float as double"},
      {CDF_get_float(sh), -7, "short as float"},
      {static_cast<double>(CDF_get_long(n)), 100000, "int as long"},
      {static_cast<double>(CDF_get_byte(b)), -3, "byte as byte"},
      {CDF_get_float(dd), -9999, "double beyond float range"},
      {static_cast<double>(CDF_get_long(dd)), -9999, "double beyond long range"},
      {CDF_get_float(id), -9999, "text as number"},
  };
  for (const Num& c : nums) EXPECT_EQ(c.got, c.want) << c.what;
  CDF_set_pos(1, 1);
  EXPECT_EQ(CDF_get_double(dd), 2.25);
  EXPECT_EQ(CDF_get_char(id), 'K');
  EXPECT_EQ(CDF_get_char(t), ' ');

  float lvl[3] = {0, 0, 0};
  CDF_set_range(2, 1, 1, 0, 3);
  EXPECT_EQ(CDF_get_float_array(lv, lvl), 0);
  EXPECT_EQ(lvl[0], 4);
  EXPECT_EQ(lvl[2], 6);
  double dl[3] = {0, 0, 0};
  EXPECT_EQ(CDF_get_double_array(lv, dl), 0);
  EXPECT_EQ(dl[1], 5);
  /* Beyond the stored records: failures, not success or stale values. */
  CDF_set_range(2, 2, 1, 0, 3);
  EXPECT_EQ(CDF_get_float_array(lv, lvl), -1);
  CDF_set_pos(1, 5);
  EXPECT_EQ(CDF_get_float(t), -9999.0f);
  EXPECT_EQ(CDF_get_long(n), -9999);
  EXPECT_EQ(CDF_get_str(id, 6, buf), -1);
  EXPECT_STREQ(buf, "");

  /* The global text attributes, cut to the buffer and terminated. */
  char small[8];
  std::memset(small, 'Z', sizeof small);
  EXPECT_EQ(CDF_get_glob_att("datetime", small, 5), 0);
  EXPECT_STREQ(small, "1997");
  EXPECT_EQ(small[5], 'Z');
  char whole[64];
  EXPECT_EQ(CDF_get_glob_att("datetime", whole, sizeof whole), 0);
  EXPECT_STREQ(whole, "1997-05-01 12:00");
  EXPECT_EQ(CDF_get_glob_att("filetime", whole, sizeof whole), -1); /* a number */
  EXPECT_EQ(CDF_get_glob_att("absent", whole, sizeof whole), -1);
  EXPECT_EQ(CDF_close(), 0);
}

TEST_F(CdfLayer, SlabsLargerThanTheCallersBufferAreRefused) {
  /* A variable with a dimension more than the reader positions: the
   * library would fill count[1] * 50 values into a buffer of one row. */
  std::string cdl =
      "netcdf h { dimensions: rec = 2 ; n = 3 ; big = 50 ;\n"
      "variables: float v(rec, n, big) ; char s(rec, n, big) ;\n"
      "data: v = 1 ; s = \"x\" ; }\n";
  ASSERT_TRUE(compile(dir, "h.nc", cdl));
  ASSERT_GE(CDF_open(dir.file("h.nc").c_str(), CDF_READ), 0);
  int v = CDF_get_var("v"), s = CDF_get_var("s");
  std::vector<float> buf(3 + 1, 7.0f);
  CDF_set_range(3, 0, 1, 0, 1, 0, 50); /* leaves count[2] = 50 */
  CDF_set_range(2, 0, 1, 0, 3);
  EXPECT_EQ(CDF_get_float_array(v, buf.data()), -1);
  EXPECT_EQ(buf[3], 7.0f);
  /* A string call over a range of several records is refused too. */
  char str[51];
  CDF_set_range(2, 0, 2, 0, 3);
  EXPECT_EQ(CDF_get_str(s, 50, str), -1);
  EXPECT_EQ(CDF_close(), 0);
}

TEST_F(CdfLayer, ManyRecordsAndReopeningForWriting) {
  const std::string path = dir.file("m.nc");
  ASSERT_GE(CDF_open(path.c_str(), CDF_CREATE), 0);
  int rec = CDF_def_dim("rec", 0);
  CDF_set_shape(1, rec);
  int t = CDF_def_float_var("t");
  ASSERT_EQ(CDF_end_def(), 0);
  for (int i = 0; i < 120; ++i) {
    CDF_set_pos(1, i);
    ASSERT_EQ(CDF_put_float(t, static_cast<float>(i)), 0);
  }
  EXPECT_EQ(CDF_close(), 0);
  int fd = CDF_open(path.c_str(), CDF_WRITE);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(CDF_get_dim_size(CDF_RECORD_DIM), 120);
  t = CDF_get_var("t");
  CDF_set_pos(1, 119);
  EXPECT_EQ(CDF_put_float(t, -1.5f), 0);
  EXPECT_EQ(CDF_close(), 0);
  ASSERT_GE(CDF_open(path.c_str(), CDF_READ), 0);
  EXPECT_EQ(CDF_get_float(CDF_get_var("t")), -1.5f);
  CDF_set_pos(1, 60);
  EXPECT_EQ(CDF_get_float(CDF_get_var("t")), 60.0f);
  EXPECT_EQ(CDF_close(), 0);
}

/* Big-endian words of a hand-made classic header. */
std::string words(std::initializer_list<unsigned> ws) {
  std::string out;
  for (unsigned w : ws)
    for (int sh = 24; sh >= 0; sh -= 8) out += static_cast<char>((w >> sh) & 0xff);
  return out;
}

TEST_F(CdfLayer, DamagedHeadersAreRefusedBeforeTheLibraryReadsThem) {
  /* One dimension "n" of 1, one attribute, one int variable "v(n)". */
  auto file = [](unsigned dims, unsigned name_len, unsigned att_len, unsigned type) {
    std::string f = "CDF\x01";
    f += words({0, 0x0A, dims, name_len}) + std::string("n\0\0\0", 4) + words({1});
    f += words({0x0C, 1, 1}) + std::string("a\0\0\0", 4) + words({2, att_len}) + "text";
    f += words({0x0B, 1, 1}) + std::string("v\0\0\0", 4) + words({1, 0, 0, 0, type, 4, 200});
    f += std::string(8, '\0');
    return f;
  };
  struct Case {
    std::string bytes;
    bool ok;
    const char* why;
  };
  const Case cases[] = {
      {file(1, 1, 4, 4), true, "sound"},
      {file(0x7fffffff, 1, 4, 4), false, "more dimensions than bytes"},
      {file(1, 0x40000000, 4, 4), false, "a name longer than the file"},
      {file(1, 1, 0x7ffffff0, 4), false, "an attribute longer than the file"},
      {file(1, 1, 4, 12), false, "a variable of an unknown type"},
      {file(1, 1, 4, 4).substr(0, 40), false, "cut inside the header"},
  };
  int k = 0;
  for (const Case& c : cases) {
    const std::string path = dir.file("h" + std::to_string(k++) + ".nc");
    write_file(path, c.bytes);
    int fd = 0;
    auto out = capture([&] { fd = CDF_open(path.c_str(), CDF_READ); });
    if (c.ok) {
      ASSERT_GE(fd, 0) << c.why << out.err;
      char text[8];
      EXPECT_EQ(CDF_get_glob_att("a", text, sizeof text), 0);
      EXPECT_STREQ(text, "text");
      CDF_close();
    } else {
      EXPECT_EQ(fd, -1) << c.why;
      EXPECT_NE(out.err.find("CDF_check_header: Damaged netCDF header"), std::string::npos) << c.why;
      EXPECT_EQ(CDF_get_float(0), -9999.0f);
    }
  }
}

TEST_F(CdfLayer, LibraryErrorsNeverEndTheProcess) {
  /* The library's own default ends the process on any error. */
  const std::string missing = dir.file("none.nc");
  auto child = kez_test::run_child([&] {
    ncopts = NC_FATAL | NC_VERBOSE;
    return CDF_open(missing.c_str(), CDF_READ) == -1 && CDF_get_dim("x") == -1 ? 0 : 1;
  });
  EXPECT_EQ(child.status, 0) << child.err;
  CDF_print_errors(1);
  auto out = capture([&] {
    EXPECT_EQ(CDF_open(dir.file("none.nc").c_str(), CDF_READ), -1);
    EXPECT_EQ(CDF_open(dir.file("none.nc").c_str(), CDF_WRITE), -1);
  });
  EXPECT_FALSE(out.err.empty());
  CDF_print_errors(0);
  out = capture([&] { EXPECT_EQ(CDF_open(dir.file("none.nc").c_str(), CDF_READ), -1); });
  EXPECT_TRUE(out.err.empty()) << out.err;
}

/* The library is loaded on first use. When it cannot be (not installed,
 * or a library of that name without the calls), every netCDF path fails
 * cleanly, and the one message names the library and the loader's reason. */
TEST_F(CdfLayer, MissingLibraryFailsEveryCallWithOneMessage) {
  ASSERT_TRUE(compile(dir, "classic.nc", "netcdf c { dimensions: n = 2 ; variables: float t(n) ; data: t = 1, 2 ; }"));
  ASSERT_EQ(run_command("ncgen -k nc4 -o " + dir.file("four.nc") + " " + dir.file("classic.nc.cdl")), 0);
  const std::string classic = dir.file("classic.nc"), four = dir.file("four.nc"), made = dir.file("made.nc");
  struct Case {
    const char* library;
    const char* reason;
  };
  const Case cases[] = {
      {"libkez_no_such_netcdf.so.0", "cannot open shared object file"},
      {"libz.so.1", "undefined symbol: ncopen"},
  };
  for (const Case& c : cases) {
    auto child = kez_test::run_child([&] {
      CDF_set_library(c.library);
      CDF_print_errors(1);
      int type = 0;
      const bool failed = CDF_open(classic.c_str(), CDF_READ) == -1 && CDF_open(four.c_str(), CDF_READ) == -1 &&
                          CDF_open(made.c_str(), CDF_CREATE) == -1 && CDF_get_dim("n") == -1 &&
                          CDF_get_float(0) == CDF_FILL && CDF_load_library("test") == 0 &&
                          GRD_open(classic.c_str(), GRD_ACCESS_READ, &type) < 0;
      return failed ? 0 : 1;
    });
    EXPECT_EQ(child.status, 0) << c.library << child.err;
    const std::string all = child.out + child.err;
    const std::string line = std::string("The netCDF library ") + c.library + " cannot be loaded: ";
    const size_t at = all.find(line);
    ASSERT_NE(at, std::string::npos) << all;
    EXPECT_EQ(all.find(line, at + 1), std::string::npos) << "one message only:\n" << all;
    EXPECT_NE(all.find(c.reason, at), std::string::npos) << all;
  }
  /* The library the suite was built with is back. */
  CDF_set_library(nullptr);
  ASSERT_GE(CDF_open(classic.c_str(), CDF_READ), 0);
  EXPECT_EQ(CDF_get_dim_size(CDF_get_dim("n")), 2);
  CDF_close();
}

} // namespace
