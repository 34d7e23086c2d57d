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

} // namespace kez_fuzz

#endif
