/*
 * kezsfc: the surface weather plotting program.
 *
 * Until the plotting layers stand, the program gathers its settings from the
 * command line and prints its banner and the resources it was given.
 */
#include "kez.h"

#include <cstring>

int main(int argc, char** argv) {
  RES_setCL(argc, argv);
  FLAG_reset(-9999);
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg[0] != '-') {
      RES_append(-9999, "filename", arg, CV_strings);
      continue;
    }
    while (*arg == '-') ++arg;
    const char* eq = std::strchr(arg, '=');
    std::string name = eq ? std::string(arg, static_cast<size_t>(eq - arg)) : std::string(arg);
    RES_new(-9999, name.c_str(), eq ? eq + 1 : nullptr, CV_string);
  }
  if (RES_get("message")) RES_conv_data(RES_get("message"), nullptr, CV_mess);
  MESS_print_prog("SURFACE DATA PLOTTING");
  MESS_print(M_print, "Resources:\n");
  RES_list();
  return 0;
}
