/*
 * table: the multi-key hashed table.
 *
 * Records of one fixed size that can be found by up to four text keys at
 * once and walked in the order in which they were entered. The station table
 * of a plot and the report tables of the point-data tools are built on it.
 *
 * Each key has its own array of bucket heads. The first record that falls
 * into a bucket lives in the head itself, later ones in entries chained
 * behind it in order of entry, so a search finds the first record entered
 * with a key and equal keys all stay. A head also points at the last entry
 * of its chain, so entering costs the same however many records share a
 * key. A record is one piece shared by the entries of all its keys, and key
 * 1's entries also carry the order of entry; the copies of its key texts
 * lie in the same piece, behind the record. A record without a text for a
 * later key is simply not found under that key. A record is entered whole
 * or not at all.
 *
 * Records, key copies and chained entries are cut from the table's pool of
 * growing blocks, which TAB_clear frees whole: nothing is freed singly, and
 * a table of thousands of stations would otherwise pay a malloc and a free
 * and a header for each piece.
 */
#include "kez.h"

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

/* The bucket of a key text: h = (257 h + c) mod 35177 over its bytes taken
 * as signed characters, in unsigned 64-bit arithmetic. */
int bucket_of(const char* key, int tab_size) {
  std::uint64_t h = 0;
  for (const char* p = key; *p; ++p) {
    const auto c = static_cast<std::uint64_t>(static_cast<signed char>(*p));
    h = (257 * h + c) % 35177;
  }
  return static_cast<int>(h % static_cast<std::uint64_t>(tab_size));
}

bool set_up(const TAB_table* tab) {
  return tab && tab->tab_size > 0 && tab->numkey >= 1 && tab->numkey <= TAB_MAX_KEYS;
}

bool key_ok(const TAB_table* tab, int keynum, const char* key) {
  return set_up(tab) && key && keynum >= 1 && keynum <= tab->numkey;
}

/* A block of the pool; its bytes follow it. */
struct alignas(std::max_align_t) Block {
  Block* prev;
  std::size_t size; /* bytes after the header */
  std::size_t used;
};

constexpr std::size_t FIRST_BLOCK = 16 * 1024;
constexpr std::size_t LARGEST_BLOCK = 1024 * 1024;

unsigned char* bytes_of(Block* b) { return reinterpret_cast<unsigned char*>(b + 1); }

/* size bytes aligned to align (a power of two) from the pool; null when
 * memory runs out. */
void* cut(TAB_table* tab, std::size_t size, std::size_t align) {
  auto* b = static_cast<Block*>(tab->pool);
  if (b) {
    const std::size_t at = (b->used + align - 1) & ~(align - 1);
    if (at <= b->size && size <= b->size - at) {
      b->used = at + size;
      return bytes_of(b) + at;
    }
  }
  const std::size_t room = std::max(b ? std::min(2 * b->size, LARGEST_BLOCK) : FIRST_BLOCK, size);
  auto* fresh = static_cast<Block*>(std::malloc(sizeof(Block) + room));
  if (!fresh) return nullptr;
  fresh->prev = b;
  fresh->size = room;
  fresh->used = size;
  tab->pool = fresh;
  return bytes_of(fresh);
}

void free_pool(TAB_table* tab) {
  for (auto* b = static_cast<Block*>(tab->pool); b;) {
    Block* prev = b->prev;
    std::free(b);
    b = prev;
  }
  tab->pool = nullptr;
}

void free_buckets(TAB_table* tab) {
  for (TAB_entry*& heads : tab->table) {
    std::free(heads);
    heads = nullptr;
  }
}

} // namespace

int TAB_init(TAB_table* tab) {
  if (!tab) return -1;
  tab->data_ptr = nullptr;
  tab->head_ptr = nullptr;
  tab->last_ptr = nullptr;
  tab->num_entry = 0;
  tab->numkey = 0;
  tab->pool = nullptr;
  return 0;
}

int TAB_create(TAB_table* tab, int tsize, int dsize, int nkey) {
  if (!tab) return -1;
  TAB_init(tab);
  tab->tab_size = 0;
  tab->data_size = 0;
  for (TAB_entry*& heads : tab->table) heads = nullptr;
  if (tsize < 1 || dsize < 0 || nkey < 1 || nkey > TAB_MAX_KEYS) {
    MESS_print(M_error, "TAB_create: Invalid table: %d buckets, %d bytes, %d keys\n", tsize, dsize, nkey);
    return -1;
  }
  for (int i = 0; i < nkey; ++i) {
    tab->table[i] = static_cast<TAB_entry*>(std::calloc(static_cast<size_t>(tsize), sizeof(TAB_entry)));
    if (!tab->table[i]) {
      free_buckets(tab);
      MESS_print(M_error, "TAB_create: Unable to allocate %d buckets\n", tsize);
      return -1;
    }
  }
  tab->tab_size = tsize;
  tab->data_size = dsize;
  tab->numkey = nkey;
  return 0;
}

int TAB_enter(TAB_table* tab, const char* data, ...) {
  if (!set_up(tab) || !data) return -1;
  const int nkey = tab->numkey;
  const char* keys[TAB_MAX_KEYS] = {};
  va_list args;
  va_start(args, data);
  for (int i = 0; i < nkey; ++i) keys[i] = va_arg(args, const char*);
  va_end(args);
  if (!keys[0]) return -1;

  /* Everything the record needs is allocated before anything is linked, so
   * that a failed allocation leaves the table as it was. */
  TAB_entry* head[TAB_MAX_KEYS] = {};  /* each key's bucket head */
  TAB_entry* slot[TAB_MAX_KEYS] = {};  /* where each key's entry goes */
  TAB_entry* after[TAB_MAX_KEYS] = {}; /* the chain's last entry, null for a head */
  size_t length[TAB_MAX_KEYS] = {};    /* each key text with its NUL */
  size_t size = static_cast<size_t>(tab->data_size) + 1;
  bool failed = false;
  for (int i = 0; i < nkey; ++i) {
    if (!keys[i]) continue;
    head[i] = &tab->table[i][bucket_of(keys[i], tab->tab_size)];
    if (head[i]->key) {
      after[i] = head[i]->last ? head[i]->last : head[i];
      void* room = cut(tab, sizeof(TAB_entry), alignof(TAB_entry));
      slot[i] = room ? new (room) TAB_entry{} : nullptr;
      failed = failed || !room;
    } else {
      slot[i] = head[i];
    }
    length[i] = std::strlen(keys[i]) + 1;
    size += length[i];
  }
  /* What was cut for a failed record stays unused in the pool. */
  char* block = failed ? nullptr : static_cast<char*>(cut(tab, size, alignof(std::max_align_t)));
  if (!block) {
    MESS_print(M_error, "TAB_enter: Unable to allocate a record\n");
    return -1;
  }
  std::memcpy(block, data, static_cast<size_t>(tab->data_size));

  char* copy = block + tab->data_size + 1;
  for (int i = 0; i < nkey; ++i) {
    if (!slot[i]) continue;
    std::memcpy(copy, keys[i], length[i]);
    slot[i]->key = copy;
    copy += length[i];
    slot[i]->data = block;
    if (after[i]) {
      after[i]->link = slot[i];
      head[i]->last = slot[i];
    }
  }
  if (tab->last_ptr)
    tab->last_ptr->next = slot[0];
  else
    tab->head_ptr = slot[0];
  tab->last_ptr = slot[0];
  ++tab->num_entry;
  return 0;
}

char* TAB_search(const TAB_table* tab, int keynum, const char* key) {
  char* found = nullptr;
  return TAB_searches(tab, keynum, key, &found, 1) == 1 ? found : nullptr;
}

int TAB_searches(const TAB_table* tab, int keynum, const char* key, char** ptrs, int max) {
  if (!key_ok(tab, keynum, key) || !ptrs || max < 1) return 0;
  int count = 0;
  for (const TAB_entry* entry = &tab->table[keynum - 1][bucket_of(key, tab->tab_size)];
       entry && entry->key && count < max; entry = entry->link) {
    if (std::strcmp(entry->key, key) == 0) ptrs[count++] = entry->data;
  }
  return count;
}

int TAB_first(TAB_table* tab) {
  if (!tab) return -1;
  tab->data_ptr = tab->head_ptr;
  return 0;
}

char* TAB_next(TAB_table* tab) {
  if (!set_up(tab) || !tab->data_ptr) return nullptr;
  TAB_entry* entry = tab->data_ptr;
  tab->data_ptr = entry->next;
  return entry->data;
}

int TAB_clear(TAB_table* tab) {
  if (!tab || tab->tab_size < 1) return 0;
  free_pool(tab);
  free_buckets(tab);
  TAB_init(tab);
  tab->tab_size = 0;
  tab->data_size = 0;
  return 0;
}
