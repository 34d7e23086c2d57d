/*
 * The calculator's name recognisers: every name of their lists, the type
 * after "-", exact case, and the names the evaluator knows but the parser
 * does not type.
 */
#include "kezgrd.h"

#include <gtest/gtest.h>

#include <string>

TEST(CalcNames, MathFunctionsGiveTheirResultType) {
  const char* grids[] = {"copy",   "max",    "min",    "add",   "sum",    "avg",     "interp", "sub",   "thick",
                         "mul",    "mod",    "sqrt",   "pow",   "exp",    "log",     "log10",  "abs",   "div",
                         "sin",    "cos",    "tan",    "asin",  "acos",   "atan",    "atan2",  "dx",    "dy",
                         "dewp",   "rhum",   "wetblb", "show",  "wchill", "wchill2", "heat",   "theta", "thetae",
                         "vtemp",  "thetav", "vapor",  "shum",  "mixrat", "wspd",    "spd",    "mag",   "wdir",
                         "dir",    "dot",    "cross",  "ugeos", "vgeos",  "uq",      "vq",     "lapl",  "conv",
                         "diverg", "def1",   "def2",   "vconv", "rvort",  "avort",   "adv"};
  EXPECT_EQ(sizeof grids / sizeof grids[0], 61u);
  for (const char* name : grids) {
    EXPECT_EQ(GRD_is_math_func(name), 10) << name;
    EXPECT_EQ(GRD_is_math_func((std::string(name) + "-temp").c_str()), 10) << name << " with a type";
    std::string upper = name;
    upper[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[0])));
    EXPECT_EQ(GRD_is_math_func(upper.c_str()), 0) << upper;
    EXPECT_EQ(GRD_is_vect_func(name), 0) << name;
    EXPECT_EQ(GRD_is_plot_func(name), 0) << name;
  }
  struct Case {
    const char* name;
    int type;
  };
  const Case plots[] = {{"wind", 20}, {"vect", 21}, {"stream", 23}, {"strm", 23}};
  for (const Case& c : plots) {
    EXPECT_EQ(GRD_is_math_func(c.name), c.type) << c.name;
    EXPECT_EQ(GRD_is_plot_func(c.name), 1) << c.name;
    EXPECT_EQ(GRD_is_plot_func((std::string(c.name) + "-x").c_str()), 1) << c.name;
  }
}

TEST(CalcNames, OtherNamesAndCases) {
  const char* untyped[] = {"smooth", "lat",   "lon",  "projx", "projy", "grad",  "vdiff",
                           "pr_alt", "ewdir", "uwnd", "uwndg", "vwnd",  "vwndg", "",
                           "temp",   "WIND",  "Grad", "-add",  "addx",  "add ",  "add_"};
  for (const char* name : untyped) {
    EXPECT_EQ(GRD_is_math_func(name), 0) << name;
    EXPECT_EQ(GRD_is_plot_func(name), 0) << name;
  }
  EXPECT_EQ(GRD_is_math_func(nullptr), 0);
  EXPECT_EQ(GRD_is_vect_func("grad"), 1);
  EXPECT_EQ(GRD_is_vect_func("vdiff"), 1);
  EXPECT_EQ(GRD_is_vect_func("grad-anything"), 1);
  EXPECT_EQ(GRD_is_vect_func("GRAD"), 0);
  EXPECT_EQ(GRD_is_vect_func("gradx"), 0);
  EXPECT_EQ(GRD_is_vect_func(nullptr), 0);
  EXPECT_EQ(GRD_is_math_func("averyverylongname-add"), 0) << "a name past nine characters";
}
