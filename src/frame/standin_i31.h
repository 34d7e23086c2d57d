/*
 * STAND-IN (branch i31): the checked printing of users' number formats,
 * under the names and signatures of the frame's format checker, for the
 * station datum drawer until it meets that checker; the lead drops this
 * header, its .cpp and the include of it in raw_plt.cpp then.
 */
#ifndef KEZ_STANDIN_I31_H
#define KEZ_STANDIN_I31_H

#include <string>

/* The value printed with format when it holds exactly one conversion of the
 * kind; otherwise with the fallback, after a warning that begins with the
 * caller's name; the empty text when neither passes. */
std::string FMT_print_float(const char* caller, const char* format, const char* fallback, double value);
std::string FMT_print_int(const char* caller, const char* format, const char* fallback, long value);

#endif
