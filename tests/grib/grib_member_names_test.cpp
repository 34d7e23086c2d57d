/*
 * Ensemble members asked for by name find the field the decoder labelled:
 * the member +21 message of e2_ensemble.grb, its kind and member octets
 * set to members on both sides of 20, decoded and named; the names of the
 * decoded numbers read back as the decoder's descriptions.
 */
#include "eccodes_ref.h"
#include "kez_test.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string data_file(const std::string& name) { return std::string(KEZ_SOURCE_DIR) + "/tests/grib/data/" + name; }

/* The messages of an edition 2 file, by their lengths. */
std::vector<std::string> messages(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> out;
  for (size_t at = all.find("GRIB"); at != std::string::npos && at + 16 <= all.size(); at = all.find("GRIB", at)) {
    unsigned long long len = 0;
    for (size_t k = 8; k < 16; ++k) len = len << 8 | static_cast<unsigned char>(all[at + k]);
    if (len < 16 || at + len > all.size()) break;
    out.push_back(all.substr(at, len));
    at += len;
  }
  return out;
}

/* Where section 4 of an edition 2 message begins. */
size_t section4(const std::string& m) {
  size_t at = 16;
  while (at + 5 <= m.size()) {
    unsigned len = 0;
    for (size_t k = 0; k < 4; ++k) len = len << 8 | static_cast<unsigned char>(m[at + k]);
    if (m[at + 4] == 4) return at;
    if (len < 5) break;
    at += len;
  }
  return std::string::npos;
}

std::string var_name(int var, const char* units) {
  char buf[256];
  kez_test::capture([&] { VAR_str(buf, var, units, sizeof buf); });
  return buf;
}

bool ends_with(const std::string& s, const std::string& e) {
  return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}

class GribMemberNames : public ::testing::Test {
 protected:
  void SetUp() override {
    RES_put("file_path", KEZ_DATA_DIR);
    PLT_set_label_type(0);
  }
  void TearDown() override {
    PLT_set_label_type(0);
    RES_put("file_path", "");
  }
};

TEST_F(GribMemberNames, NameOfAMemberFindsTheDecodersNumber) {
  const std::vector<std::string> all = messages(data_file("e2_ensemble.grb"));
  ASSERT_EQ(all.size(), 10u);
  const std::string plus21 = all[5]; /* positively perturbed member 21 */
  const size_t s4 = section4(plus21);
  ASSERT_NE(s4, std::string::npos);
  ASSERT_EQ(static_cast<unsigned char>(plus21[s4 + 34]), 3);
  ASSERT_EQ(static_cast<unsigned char>(plus21[s4 + 35]), 21);

  struct Case {
    int kind; /* typeOfEnsembleForecast: 2 negatively, 3 positively perturbed */
    int member;
  };
  const Case cases[] = {{3, 0}, {3, 1},  {3, 19}, {3, 20}, {3, 21},  {3, 100}, {3, 255},
                        {2, 0}, {2, 19}, {2, 20}, {2, 21}, {2, 254}, {2, 255}};
  kez_test::TempDir dir;
  for (const Case& c : cases) {
    const std::string name = std::string("ens[") + (c.kind == 3 ? "+" : "-") + std::to_string(c.member) + "]temp";
    SCOPED_TRACE(name);
    std::string m = plus21;
    m[s4 + 34] = static_cast<char>(c.kind);
    m[s4 + 35] = static_cast<char>(c.member);
    const std::string path = dir.file("member.grb");
    {
      std::ofstream out(path, std::ios::binary);
      out.write(m.data(), static_cast<std::streamsize>(m.size()));
    }
    grib_test::Records o(path);
    ASSERT_TRUE(o.next());
    ASSERT_EQ(o.result, 0) << o.err;
    const int var = o.rec.var;

    VAR_data d{};
    VAR_data_init(&d);
    int asked = 0;
    kez_test::capture([&] { asked = VAR_dec_var(name.c_str(), &d); });
    EXPECT_EQ(asked, var);

    /* The label is the end of the decoder's description; from 20 on it
     * carries the member, and its abbreviation is the name asked by. */
    const std::string label = var_name(var, o.rec.units);
    EXPECT_TRUE(ends_with(o.rec.info, label)) << o.rec.info << " | " << label;
    PLT_set_label_type(-1);
    EXPECT_EQ(var_name(var, nullptr), c.member < 20 ? std::string("temp") : name);
    PLT_set_label_type(0);
  }
  VAR_data d{};
  VAR_data_init(&d);
  int asked = 0;
  kez_test::capture([&] { asked = VAR_dec_var("ens[+256]temp", &d); });
  EXPECT_EQ(asked, KEZ_MISS) << "no message holds member 256";
}

/* Every field of the ensemble and constituent fixtures: the name of its
 * number is the decoder's own description after the level. */
TEST_F(GribMemberNames, NamesOfDecodedNumbersReadAsTheirDescriptions) {
  for (const char* file : {"e2_ensemble.grb", "e2_chem.grb"}) {
    SCOPED_TRACE(file);
    grib_test::Records o(data_file(file));
    int n = 0;
    for (; o.next(); ++n) {
      SCOPED_TRACE(n);
      ASSERT_EQ(o.result, 0) << o.err;
      const std::string label = var_name(o.rec.var, o.rec.units);
      EXPECT_EQ(label.find("v1"), std::string::npos) << label;
      EXPECT_TRUE(ends_with(o.rec.info, label)) << o.rec.info << " | " << label;
    }
    EXPECT_GT(n, 0);
  }
}

} // namespace
