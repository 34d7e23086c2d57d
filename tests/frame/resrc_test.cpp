#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using kez_test::run_child;

TEST(ResourceStore, ValuesNoValuesAndAbsence) {
  auto r = run_child([] {
    RES_new(-9999, "title", "Plot", CV_string);
    RES_new(-9999, "batch", nullptr, CV_batch);
    bool ok = std::strcmp(RES_get("title"), "Plot") == 0;
    ok = ok && RES_get("batch") && *RES_get("batch") == '\0';
    ok = ok && RES_get("Title") == nullptr && RES_get("absent") == nullptr;
    RES_new(3, "title", "Later", CV_int);
    RES_list();
    return ok && std::strcmp(RES_get("title"), "Later") == 0 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "title: Later\nbatch:\n") << "a replaced resource keeps its place";
}

TEST(ResourceStore, AppendJoinsWithLineFeeds) {
  auto r = run_child([] {
    RES_new(-9999, "filename", "a", CV_strings);
    RES_append(5, "filename", "b", CV_string);
    RES_append(-9999, "filename", nullptr, CV_string);
    RES_new(-9999, "list", "a", CV_string);
    RES_append(-9999, "list", "b", CV_string);
    int n1 = 0, n2 = 0;
    char** v1 = nullptr;
    char** v2 = nullptr;
    RES_getvals("filename", &n1, &v1);
    RES_getvals("list", &n2, &v2);
    bool ok = std::strcmp(RES_get("filename"), "a\nb") == 0 && n1 == 2 && n2 == 1;
    ok = ok && std::strcmp(v1[1], "b") == 0 && std::strcmp(v2[0], "a\nb") == 0;
    free_parsed_array(n1, v1);
    free_parsed_array(n2, v2);
    int n3 = 7;
    char** v3 = nullptr;
    ok = ok && RES_getvals("absent", &n3, &v3) == 0 && n3 == 0 && v3 == nullptr;
    return ok ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

TEST(ResourceConvert, NumbersAndSwitches) {
  auto r = run_child([] {
    bool ok = true;
    int i = 99;
    RES_put("v", "0x1F");
    RES_getval("v", &i, CV_int);
    ok = ok && i == 31;
    RES_put("v", "-12");
    RES_getval("v", &i, CV_int);
    ok = ok && i == -12;
    RES_put("v", "abc");
    RES_getval("v", &i, CV_int);
    ok = ok && i == -12;
    short s = 5;
    RES_put("v", "-12");
    RES_getval("v", &s, CV_short);
    ok = ok && s == 5;
    float f = 1.0f;
    RES_put("v", "abc");
    RES_getval("v", &f, CV_float);
    ok = ok && f == 0.0f;
    int b = 7;
    RES_new(-9999, "flag", nullptr, CV_bool);
    RES_getval("flag", &b, CV_bool);
    ok = ok && b == 1;
    RES_put("flag", "No");
    RES_getval("flag", &b, CV_bool);
    ok = ok && b == 0;
    RES_put("flag", "maybe");
    RES_getval("flag", &b, CV_bool);
    ok = ok && b == 0;
    ok = ok && RES_getval("absent", &b, CV_bool) == 0;
    return ok ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

TEST(ResourceConvert, DeviceAndPath) {
  auto r = run_child([] {
    char* name = nullptr;
    RES_put("device", "p,|lpr");
    RES_getval("device", &name, CV_device);
    bool ok = FLAG_get(2) == 4 && name && std::strcmp(name, "|lpr") == 0;
    name = nullptr;
    RES_put("device", "x");
    RES_getval("device", &name, CV_device);
    ok = ok && FLAG_get(2) == 1 && name == nullptr;
    char* path = nullptr;
    RES_put("data_path", "/data");
    RES_getval("data_path", &path, CV_path);
    ok = ok && std::strcmp(path, "/data/") == 0;
    std::free(path);
    RES_put("data_path", "NONE");
    RES_getval("data_path", &path, CV_path);
    ok = ok && path && *path == '\0';
    std::free(path);
    return ok ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

TEST(ResourceConvert, ProgramName) {
  auto r = run_child([] {
    char arg0[] = "/usr/bin/prog";
    char* argv[] = {arg0, nullptr};
    RES_setCL(1, argv);
    char buf[FILE_PATH_LEN];
    char* own = RES_get_progname(nullptr);
    bool ok = std::strcmp(RES_get_progname(buf), "prog") == 0 && std::strcmp(own, "prog") == 0;
    std::free(own);
    return ok ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
}

} // namespace
