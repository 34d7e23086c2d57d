/*
 * What the fuzz targets share: the input as text or cut into parts, and a
 * scratch file of this process into which a target writes the input for
 * readers that take a file name. Messages are silenced once, so that a long
 * run spends its time in the readers rather than on the terminal.
 */
#ifndef KEZ_FUZZ_H
#define KEZ_FUZZ_H

#include "kez.h"

#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kez_fuzz {

inline void quiet() {
  static bool done = false;
  if (done) return;
  done = true;
  MESS_set_str("none");
}

/* The input as one text, without the NUL bytes that no C string can hold. */
inline std::string text(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve(size);
  for (size_t i = 0; i < size; ++i)
    if (data[i] != 0) out += static_cast<char>(data[i]);
  return out;
}

/* The input cut at NUL bytes into at least n texts (missing ones empty). */
inline std::vector<std::string> parts(const uint8_t* data, size_t size, size_t n) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      out.emplace_back();
    else
      out.back() += static_cast<char>(data[i]);
  }
  while (out.size() < n) out.emplace_back();
  return out;
}

/* The lines of a text, the last one even when empty (an input ending in a
 * line feed keeps its empty last line). */
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= text.size()) {
    const size_t nl = text.find('\n', at);
    out.push_back(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
    if (nl == std::string::npos) break;
    at = nl + 1;
  }
  return out;
}

/* A folder of this process for the files the targets write. */
inline const std::string& scratch_dir() {
  static const std::string dir = [] {
    std::string d = "/tmp/kez_fuzz." + std::to_string(::getpid());
    std::string cmd = "mkdir -p '" + d + "'";
    if (std::system(cmd.c_str()) != 0) std::perror("kez_fuzz: mkdir");
    std::atexit([] {
      std::string rm = "rm -rf '/tmp/kez_fuzz." + std::to_string(::getpid()) + "'";
      if (std::system(rm.c_str()) != 0) std::perror("kez_fuzz: rm");
    });
    return d;
  }();
  return dir;
}

/* Whether a file name that a command line gives stays in the folder the
 * command is pointed at: the file layer takes a name beginning with "/",
 * "." or "~" as a path of its own and one with "|" as a command. */
inline bool local_name(const std::string& word) {
  return !word.empty() && word[0] != '.' && word.find_first_of("/|!~`$") == std::string::npos;
}

/* Writes the bytes to the scratch file name and gives its path. */
inline std::string write_file(const std::string& name, const uint8_t* data, size_t size) {
  std::string path = scratch_dir() + "/" + name;
  if (FILE* fp = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, fp);
    std::fclose(fp);
  }
  return path;
}

/*
 * Typed answers for the prompts: the lines become the standard input, with
 * enough "0" lines after them that every prompt finds an answer before the
 * end of the input (which, like "exit", ends the program). false, and no
 * input set, when a line would end the program or a "set" command would
 * add a resource of a long name (the resource list never forgets one, and a
 * long run would fill it).
 */
inline bool feed_answers(const std::string& lines) {
  size_t at = 0;
  while (at <= lines.size()) {
    size_t nl = lines.find('\n', at);
    if (nl == std::string::npos) nl = lines.size();
    const std::string line = lines.substr(at, nl - at);
    at = nl + 1;
    size_t w = line.find_first_not_of(" \t\r\f\v");
    if (w == std::string::npos) continue;
    auto begins = [&](const char* key, size_t from) {
      for (size_t k = 0; key[k]; ++k)
        if (from + k >= line.size() || std::tolower(static_cast<unsigned char>(line[from + k])) != key[k]) return false;
      return true;
    };
    if (begins("exit", w) || begins("exit", 0)) return false;
    if (begins("set", w) || begins("set", 0)) {
      const char* blanks = " \t\r\f\v";
      const size_t word_end = line.find_first_of(blanks, w);
      const size_t name = word_end == std::string::npos ? std::string::npos : line.find_first_not_of(blanks, word_end);
      if (name != std::string::npos) {
        const size_t end = line.find_first_of(" =", name);
        if ((end == std::string::npos ? line.size() : end) - name > 3) return false;
      }
    }
  }
  std::string text = lines + "\n";
  for (int i = 0; i < 64; ++i) text += "0\n";
  const std::string path = write_file("answers", reinterpret_cast<const uint8_t*>(text.data()), text.size());
  return std::freopen(path.c_str(), "r", stdin) != nullptr;
}

} // namespace kez_fuzz

#endif
