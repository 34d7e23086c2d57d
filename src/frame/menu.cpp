/*
 * menu: numbered text menus on the terminal.
 *
 * A menu array (MENU_item, owned by its user) holds up to ten menus at once:
 * entry 0 is the return entry, entries 1 onward the items, each shown in the
 * menus whose disp value is exactly 1, and an entry without a name ends the
 * array. The region, variable and level prompts show their menus here and
 * read the user's choice by number, abbreviation or name. The chosen entry's
 * abbreviation is handed back in the answer buffer and its index returned; an
 * answer that chooses nothing stays in the buffer for the caller to take as a
 * free answer. Separator lines (names beginning with "-") are numbered like
 * items but are never chosen.
 */
#include "kez.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kNumMenus = 10;
constexpr int kOneColumnMax = 12; /* more items than this print in two columns */
constexpr int kPromptWord = 20;   /* the prompt hands back at most 19 characters */

bool is_separator(const MENU_item& item) { return item.name && item.name[0] == '-'; }

const char* text_of(const char* s) { return s ? s : ""; }

bool equal_nocase(const char* a, const char* b) { return a && b && stricmp(a, b) == 0; }

/* The array positions of the items shown in menu menu_num, in order; their
 * menu numbers are their positions in this list plus one. */
std::vector<int> shown_items(const MENU_item* menu, int menu_num) {
  std::vector<int> shown;
  if (!menu || menu_num < 0 || menu_num >= kNumMenus || !menu[0].name) return shown;
  for (int i = 1; menu[i].name; ++i) {
    if (menu[i].disp[menu_num] != 1) continue;
    if (static_cast<int>(shown.size()) == MENU_MAX_ITEMS) {
      MESS_print(M_warn, "MENU_print: Only the first %d items of menu %d are shown\n", MENU_MAX_ITEMS, menu_num);
      break;
    }
    shown.push_back(i);
  }
  return shown;
}

/* One item cell: a left cell is padded to 36 characters, a right cell ends
 * the line. */
void print_cell(const MENU_item& item, int number, bool right) {
  if (is_separator(item))
    MESS_print(M_print, " --------------------               %s", right ? "\n" : "");
  else
    MESS_print(M_print, " %2d: %-30s%s", number, text_of(item.name), right ? "\n" : " ");
}

void print_items(const MENU_item* menu, const std::vector<int>& shown) {
  const int n = static_cast<int>(shown.size());
  if (n <= kOneColumnMax) {
    for (int k = 0; k < n; ++k) print_cell(menu[shown[static_cast<size_t>(k)]], k + 1, true);
    return;
  }
  const int rows = (n + 1) / 2;
  for (int k = 1; k <= rows; ++k) {
    const int right = k + rows;
    if (right <= n) {
      print_cell(menu[shown[static_cast<size_t>(k - 1)]], k, false);
      print_cell(menu[shown[static_cast<size_t>(right - 1)]], right, true);
    } else {
      print_cell(menu[shown[static_cast<size_t>(k - 1)]], k, true);
    }
  }
}

void print_closing(const MENU_item* menu, int n, int flag) {
  const char* back = menu ? text_of(menu[0].name) : "";
  const bool exit_choice = (flag & 1) != 0;
  const bool main_choice = (flag & 2) != 0;
  if (exit_choice && main_choice) {
    MESS_print(M_print, "  0: %-30s%s", back, n > kOneColumnMax ? " " : "\n");
    MESS_print(M_print, " -1: Exit program                  \n");
  } else if (exit_choice) {
    MESS_print(M_print, "  0: Exit program                  \n");
  } else if (main_choice) {
    MESS_print(M_print, "  0: %-30s\n", back);
  }
}

void print_menu(const char* title, const MENU_item* menu, const std::vector<int>& shown, int flag) {
  /* The title is printed as text: a "%" in a title read from a file must
   * not be taken for a conversion. Its line feeds count for paging. */
  MESS_print_text(M_print, text_of(title));
  MESS_print(M_print, "\n");
  print_items(menu, shown);
  if (flag & 4) MESS_print(M_print, " 99: Help                          \n");
  print_closing(menu, static_cast<int>(shown.size()), flag);
  MESS_print(M_print, "\n");
}

/* The abbreviations of entry 0 and of the shown items, as "?" lists them;
 * separators are left out, since they cannot be chosen. */
void print_abbreviations(const MENU_item* menu, const std::vector<int>& shown) {
  std::string list;
  auto add = [&list](const MENU_item& item) {
    if (is_separator(item)) return;
    if (!list.empty()) list += ",";
    list += text_of(item.abbr);
  };
  if (menu && menu[0].name) add(menu[0]);
  for (int i : shown) add(menu[i]);
  MESS_print(M_print, "%s\n\n", list.c_str());
}

/* A whole number written as an optional "-" and digits, within int range. */
bool read_number(const char* text, int* value) {
  const char* p = text;
  if (*p == '-') ++p;
  if (!*p) return false;
  for (const char* q = p; *q; ++q)
    if (*q < '0' || *q > '9') return false;
  if (std::strlen(p) > 9) return false;
  *value = std::atoi(text);
  return true;
}

/* Hands an entry's abbreviation back in the answer buffer. */
void hand_back(char* string, const char* abbr) {
  const char* text = text_of(abbr);
  size_t n = std::strlen(text);
  if (n > static_cast<size_t>(MENU_STRING_LEN - 1)) {
    MESS_print(M_warn, "MENU_process: Abbreviation cut to %d characters: %s\n", MENU_STRING_LEN - 1, text);
    n = static_cast<size_t>(MENU_STRING_LEN - 1);
  }
  std::memcpy(string, text, n);
  string[n] = '\0';
}

/* The entry an answer names: entry 0 first, then the shown items; null for
 * none. Separators are never chosen. */
const MENU_item* find_by_text(const MENU_item* menu, const std::vector<int>& shown, const char* answer) {
  auto names = [answer](const MENU_item& item) {
    return !is_separator(item) && (equal_nocase(item.abbr, answer) || equal_nocase(item.name, answer));
  };
  if (menu[0].name && names(menu[0])) return &menu[0];
  for (int i : shown)
    if (names(menu[i])) return &menu[i];
  return nullptr;
}

} // namespace

int MENU_print(const char* title, const MENU_item* menu, int menu_num, int flag) {
  print_menu(title, menu, shown_items(menu, menu_num), flag);
  return 1;
}

int MENU_process(const char* title, const MENU_item* menu, int menu_num, const char* prompt, char* string, int flag) {
  if (!string) return -9999;
  const std::vector<int> shown = shown_items(menu, menu_num);
  const int count = static_cast<int>(shown.size());
  const int smallest = (flag & 1) ? -1 : (flag & 2) ? 0 : 1;
  print_menu(title, menu, shown, flag);
  for (;;) {
    char word[kPromptWord + 1];
    KEZ_promptl(prompt, word);
    hand_back(string, word);
    /* The help line offers 99, which no item can have (at most 79 are
     * shown), so 99 gives the same listing as "?". */
    if (std::strcmp(word, "?") == 0 || ((flag & 4) && std::strcmp(word, "99") == 0)) {
      print_abbreviations(menu, shown);
      continue;
    }
    if ((flag & 2) && stricmp(word, "main") == 0) return 0;
    int number = 0;
    if (read_number(word, &number) && number >= smallest && number <= count) {
      if (number < 1) {
        /* Without a main-menu entry the menu offers 0 as its exit. */
        if (number == 0 && (flag & 3) == 1) return -1;
        return number;
      }
      const MENU_item& item = menu[shown[static_cast<size_t>(number - 1)]];
      if (!is_separator(item)) {
        hand_back(string, item.abbr);
        return item.index;
      }
    }
    if (!menu || !menu[0].name) return -9999;
    const MENU_item* item = find_by_text(menu, shown, word);
    if (!item) return -9999;
    hand_back(string, item->abbr);
    return item->index;
  }
}

int MENU_search(const char* item, const MENU_item* menu) {
  if (!item || !menu) return -9999;
  for (int i = 0; menu[i].name; ++i) {
    if (is_separator(menu[i])) continue;
    if (equal_nocase(menu[i].abbr, item) || equal_nocase(menu[i].name, item)) return menu[i].index;
  }
  return -9999;
}

const char* MENU_get_abbr(int index, const MENU_item* menu) {
  if (!menu) return nullptr;
  for (int i = 0; menu[i].name; ++i)
    if (menu[i].index == index) return menu[i].abbr;
  return nullptr;
}

int MENU_check(int index, const MENU_item* menu, int menu_num) {
  if (!menu || menu_num < 0 || menu_num >= kNumMenus) return 0;
  for (int i = 0; menu[i].name; ++i)
    if (menu[i].index == index) return menu[i].disp[menu_num] != 0 ? 1 : 0;
  return 0;
}
