#include "kez.h"
#include "kez_test.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

/* A station-like record: an identifier, a number and a location key. */
struct Station {
  char id[8];
  int number;
};

Station station(const char* id, int number) {
  Station s{};
  std::strncpy(s.id, id, sizeof s.id - 1);
  s.number = number;
  return s;
}

/* The identifiers of every record in iteration order. */
std::string walk(TAB_table* tab) {
  std::string ids;
  TAB_first(tab);
  while (char* rec = TAB_next(tab)) ids += std::string(reinterpret_cast<Station*>(rec)->id) + " ";
  return ids;
}

std::string id_of(const char* rec) { return rec ? reinterpret_cast<const Station*>(rec)->id : "(null)"; }

TEST(KeyedTable, ThreeKeysFindEachRecordAndKeepEntryOrder) {
  for (int buckets : {1, 7, 500}) {
    TAB_table tab;
    ASSERT_EQ(TAB_create(&tab, buckets, sizeof(Station), 3), 0);
    const char* rows[][3] = {{"KDEN", "72565", "39.8,-104.7"},
                             {"KBOS", "72509", "42.4,-71.0"},
                             {"KORD", "72530", "42.0,-87.9"},
                             {"KSEA", "72793", "47.4,-122.3"}};
    int number = 0;
    for (const auto& row : rows) {
      Station s = station(row[0], ++number);
      ASSERT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&s), row[0], row[1], row[2]), 0);
    }
    EXPECT_EQ(tab.num_entry, 4);
    EXPECT_EQ(walk(&tab), "KDEN KBOS KORD KSEA ") << buckets << " buckets";
    for (const auto& row : rows)
      for (int key = 1; key <= 3; ++key) EXPECT_EQ(id_of(TAB_search(&tab, key, row[key - 1])), row[0]) << row[key - 1];
    EXPECT_EQ(TAB_search(&tab, 1, "72565"), nullptr) << "keys are searched under their own number";
    EXPECT_EQ(TAB_search(&tab, 1, "kden"), nullptr) << "keys compare with regard to case";
    EXPECT_EQ(TAB_search(&tab, 0, "KDEN"), nullptr);
    EXPECT_EQ(TAB_search(&tab, 4, "KDEN"), nullptr);
    EXPECT_EQ(TAB_clear(&tab), 0);
    EXPECT_EQ(TAB_search(&tab, 1, "KDEN"), nullptr) << "a cleared table is not set up";
    TAB_first(&tab);
    EXPECT_EQ(TAB_next(&tab), nullptr);
  }
}

TEST(KeyedTable, DuplicatesAreAllKeptInEntryOrder) {
  TAB_table tab;
  ASSERT_EQ(TAB_create(&tab, 3, sizeof(Station), 2), 0);
  const Station recs[] = {station("DUP", 1), station("OTHER", 2), station("DUP", 3), station("DUP", 4)};
  for (const Station& s : recs)
    ASSERT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&s), s.id, std::to_string(s.number).c_str()), 0);
  const char* first = TAB_search(&tab, 1, "DUP");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(reinterpret_cast<const Station*>(first)->number, 1);

  char* found[8] = {};
  ASSERT_EQ(TAB_searches(&tab, 1, "DUP", found, 8), 3);
  const int numbers[] = {1, 3, 4};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(reinterpret_cast<Station*>(found[i])->number, numbers[i]);
  EXPECT_EQ(TAB_searches(&tab, 1, "DUP", found, 2), 2) << "at most max records";
  EXPECT_EQ(TAB_searches(&tab, 3, "DUP", found, 8), 0);
  EXPECT_EQ(TAB_search(&tab, 2, "3"), found[1]) << "one record block serves every key";
  TAB_clear(&tab);

  /* A long chain of one key, behind a head that other keys share. */
  ASSERT_EQ(TAB_create(&tab, 1, sizeof(Station), 2), 0);
  for (int i = 0; i < 500; ++i) {
    const Station s = station("ID", i);
    ASSERT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&s), i % 7 ? "SAME" : "OTHER", "k"), 0);
  }
  std::vector<char*> all(500);
  ASSERT_EQ(TAB_searches(&tab, 2, "k", all.data(), 500), 500);
  for (int i = 0; i < 500; ++i) ASSERT_EQ(reinterpret_cast<Station*>(all[static_cast<size_t>(i)])->number, i);
  ASSERT_EQ(TAB_searches(&tab, 1, "OTHER", all.data(), 500), 72);
  EXPECT_EQ(reinterpret_cast<Station*>(all[71])->number, 497);
  TAB_clear(&tab);
}

/* A record without a text for a later key (a station without a WMO
 * number) is found by its other keys only, and keeps its place in the
 * order of entry; without a first key it is not entered. */
TEST(KeyedTable, ARecordCanLackALaterKey) {
  TAB_table tab;
  ASSERT_EQ(TAB_create(&tab, 2, sizeof(Station), 3), 0);
  const Station a = station("A", 1), b = station("B", 2), c = station("C", 3);
  ASSERT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&a), "A", "100", "x"), 0);
  ASSERT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&b), "B", nullptr, "x"), 0);
  ASSERT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&c), "C", "300", nullptr), 0);
  EXPECT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&c), nullptr, "400", "y"), -1);
  EXPECT_EQ(tab.num_entry, 3);
  EXPECT_EQ(walk(&tab), "A B C ");
  EXPECT_EQ(id_of(TAB_search(&tab, 1, "B")), "B");
  EXPECT_EQ(id_of(TAB_search(&tab, 2, "300")), "C");
  EXPECT_EQ(TAB_search(&tab, 2, "400"), nullptr);
  char* found[4] = {};
  ASSERT_EQ(TAB_searches(&tab, 3, "x", found, 4), 2);
  EXPECT_EQ(id_of(found[0]) + id_of(found[1]), "AB");
  TAB_clear(&tab);
}

TEST(KeyedTable, EmptyAndNotSetUpTables) {
  TAB_table tab;
  ASSERT_EQ(TAB_create(&tab, 10, 4, 1), 0);
  TAB_first(&tab);
  EXPECT_EQ(TAB_next(&tab), nullptr);
  EXPECT_EQ(TAB_search(&tab, 1, "x"), nullptr);
  TAB_clear(&tab);

  EXPECT_EQ(TAB_search(nullptr, 1, "x"), nullptr);
  char* ptrs[1];
  EXPECT_EQ(TAB_searches(nullptr, 1, "x", ptrs, 1), 0);
  const int bad[][3] = {{0, 4, 1}, {10, 4, 0}, {10, 4, 5}, {10, -1, 1}};
  for (const auto& b : bad) {
    EXPECT_EQ(TAB_create(&tab, b[0], b[1], b[2]), -1);
    EXPECT_EQ(tab.tab_size, 0);
    int data = 0;
    EXPECT_EQ(TAB_enter(&tab, reinterpret_cast<const char*>(&data), "k"), -1);
  }
}

[[maybe_unused]] long data_kb() {
  std::ifstream in("/proc/self/status");
  std::string word;
  while (in >> word)
    if (word == "VmData:") {
      long kb = 0;
      in >> kb;
      return kb;
    }
  return -1;
}

/* Tables of many records and of records larger than the pieces they are
 * usually cut from: every record keeps its bytes, lies aligned for any
 * type, is found by each key and walked in order; a cleared table takes
 * records again. */
TEST(KeyedTable, ManyAndLargeRecordsKeepTheirBytes) {
  for (int size : {static_cast<int>(sizeof(Station)), 3, 40000}) {
    TAB_table tab;
    ASSERT_EQ(TAB_create(&tab, 97, size, 2), 0);
    const int count = size > 1000 ? 60 : 20000;
    std::vector<char> record(static_cast<size_t>(size));
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < count; ++i) {
        std::memset(record.data(), i % 251, record.size());
        const std::string id = "S" + std::to_string(i), other = std::string(static_cast<size_t>(i % 37), 'k') + id;
        ASSERT_EQ(TAB_enter(&tab, record.data(), id.c_str(), other.c_str()), 0) << i;
      }
      ASSERT_EQ(tab.num_entry, count);
      int seen = 0;
      TAB_first(&tab);
      for (const char* rec; (rec = TAB_next(&tab)) != nullptr; ++seen) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(rec) % alignof(std::max_align_t), 0u);
        const std::string id = "S" + std::to_string(seen),
                          other = std::string(static_cast<size_t>(seen % 37), 'k') + id;
        ASSERT_EQ(TAB_search(&tab, 1, id.c_str()), rec) << id;
        ASSERT_EQ(TAB_search(&tab, 2, other.c_str()), rec) << other;
        const auto fill = static_cast<char>(seen % 251);
        ASSERT_TRUE(std::all_of(rec, rec + size, [fill](char c) { return c == fill; })) << id << " of " << size;
      }
      EXPECT_EQ(seen, count);
      TAB_clear(&tab);
      ASSERT_EQ(TAB_create(&tab, 97, size, 2), 0);
    }
    TAB_clear(&tab);
  }
}

TEST(KeyedTable, FailedEntryLeavesNoPartialRecord) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves memory beyond any data limit";
#else
  auto r = kez_test::run_child([] {
    constexpr int kBig = 64 << 20; /* a record that cannot be had under the limit */
    TAB_table tab;
    if (TAB_create(&tab, 1, kBig, 2) != 0) return 1;
    std::vector<char> record(kBig, 'r');
    if (TAB_enter(&tab, record.data(), "A", "1") != 0) return 2;
    record.clear();
    record.shrink_to_fit();
    long kb = data_kb();
    if (kb < 0) return 3;
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(kb + 16 * 1024) * 1024;
    if (::setrlimit(RLIMIT_DATA, &limit) != 0) return 4;
    char small = 's';
    /* One bucket: the new key entries would be chained behind "A" and "1". */
    if (TAB_enter(&tab, &small, "B", "2") != -1) return 5;
    EXPECT_EQ(tab.num_entry, 1);
    EXPECT_EQ(tab.head_ptr, tab.last_ptr) << "the record list holds the first record only";
    EXPECT_EQ(tab.table[0][0].link, nullptr) << "no key entry of the failed record in key 1";
    EXPECT_EQ(tab.table[1][0].link, nullptr) << "nor in key 2";
    EXPECT_EQ(TAB_search(&tab, 1, "B"), nullptr);
    EXPECT_NE(TAB_search(&tab, 1, "A"), nullptr);
    TAB_clear(&tab);
    return ::testing::Test::HasFailure() ? 6 : 0;
  });
  EXPECT_EQ(r.status, 0) << r.out;
#endif
}

} // namespace
