/*
 * kezcdf.h: the netCDF access layer.
 *
 * A small stateful layer over the netCDF library's classic interface. It
 * keeps one current file and one current position (or hyperslab) for the
 * whole process, so that a file layout reads or writes a value with one
 * short call per variable. A variable id (or file id) of CDF_NO_ID stands
 * for a variable that is not in the file: every get returns its absent
 * result without touching the library and every put does nothing, so file
 * layouts look their variables up once and then read or write each record
 * without further tests. The surface files and the upper-air files use it.
 *
 * Position state: `start` holds the corner of the next put or get (and the
 * dimension ids of the next typed definition, see CDF_set_shape), `count`
 * its edge lengths, `ndim` how many entries the last position, range or
 * shape call set. A shape must be set again after a position or range call
 * before further typed definitions. Entries at and above `ndim` keep what
 * earlier calls left in them; a string call sets entry `ndim`.
 *
 * Values are converted between the variable's stored type and the type of
 * the call, so a file that stores a value in another numeric type still
 * reads right, and a get never writes more than the caller's buffer holds
 * (the count of the position or range call, or the string length).
 */
#ifndef KEZCDF_H
#define KEZCDF_H

#include <cstddef>

/* The most dimensions of a position, range or shape. */
inline constexpr int CDF_MAX_DIMS = 10;
/* The id of a dimension, variable or file that is not there. */
inline constexpr int CDF_NO_ID = -1;
/* CDF_get_dim_size of this id gives the number of records. */
inline constexpr int CDF_RECORD_DIM = -1;
/* The absent result of the float and long gets, and the fill value. */
inline constexpr float CDF_FILL = -9999.0f;

/* Access modes of CDF_open. */
enum CDF_access {
  CDF_READ = 0,   /* an existing file, read only */
  CDF_CREATE = 1, /* a new file, replacing one of that name */
  CDF_WRITE = 2   /* an existing file, for writing */
};

/* The netCDF type codes of CDF_def_var. */
enum CDF_type { CDF_BYTE = 1, CDF_CHAR = 2, CDF_SHORT = 3, CDF_LONG = 4, CDF_FLOAT = 5, CDF_DOUBLE = 6 };

/* State and files. CDF_open gives the new current id (-1 when the library
 * fails, which then makes every get absent); an unknown access opens
 * nothing and gives -1. CDF_close leaves the current id as it was. */
int CDF_set_fd(int val);
/* 0 with a message when a classic netCDF file's header asks for more than
 * the file holds (the library would allocate it blindly), else 1. */
int CDF_check_header(const char* filename);
int CDF_print_errors(int val); /* 1: the library prints its errors; never fatal */
int CDF_open(const char* filename, int access);
int CDF_close();
int CDF_end_def();

/* Dimensions and variables; -1 when absent or on failure. */
int CDF_def_dim(const char* name, int size); /* size 0: the record dimension */
int CDF_get_dim(const char* name);
int CDF_get_dim_size(int dim); /* -1 on failure */
/* The shape, position and range calls take at most CDF_MAX_DIMS entries;
 * a larger (or negative) count changes nothing and gives -1. */
int CDF_set_shape(int num, ...);
int CDF_def_var(const char* name, int type, int ndims, ...);
int CDF_def_float_var(const char* name);
int CDF_def_long_var(const char* name);
int CDF_def_short_var(const char* name);
int CDF_def_byte_var(const char* name);
int CDF_def_char_var(const char* name); /* the last dimension is the string length */
int CDF_get_var(const char* name);

/* Attributes. Text attributes are stored with their length and without a
 * terminator. CDF_get_glob_att copies at most size - 1 characters and always
 * terminates the buffer (size bytes); -1 when the attribute is absent or not
 * text. The helpers that take a variable id write nothing for CDF_NO_ID. */
int CDF_put_glob_att(const char* name, const char* value);
int CDF_get_glob_att(const char* name, char* value, int size);
int CDF_put_base_att(int id, const char* long_name, const char* units);
int CDF_put_float_range_att(int id, float min, float max);
int CDF_put_long_range_att(int id, long int min, long int max);
int CDF_put_fill_att(int id);
int CDF_put_long_fill_att(int id, long int val);

/* Positions: num indices, or num pairs (corner, length). */
int CDF_set_pos(int num, ...);
int CDF_set_range(int num, ...);

/* Values. The string put writes the text and its terminator along the last
 * dimension from index 0, cut to that dimension's length (without the
 * terminator when the text fills it). The string get reads len characters
 * (fewer when the dimension is shorter) into str, which holds len + 1, and
 * terminates them; it gives 1, 0 when absent (str untouched), -1 on failure
 * (str empty). The array gets give 0, or -1 when absent or on failure; the
 * single-value gets give the absent result on failure too. */
int CDF_put_str(int var, const char* str);
int CDF_put_float(int var, float value);
int CDF_put_float_array(int var, const float* array);
int CDF_put_long(int var, long int value);
int CDF_put_short(int var, short int value);
int CDF_put_byte(int var, char value);
int CDF_put_byte_array(int var, const char* array);
int CDF_put_char(int var, char value);
int CDF_get_str(int var, int len, char* str);
float CDF_get_float(int var); /* absent: -9999.0 */
int CDF_get_float_array(int var, float* array);
double CDF_get_double(int var); /* absent: -9999.0 */
int CDF_get_double_array(int var, double* array);
char CDF_get_byte(int var); /* absent: -1 */
int CDF_get_byte_array(int var, char* array);
char CDF_get_char(int var);     /* absent: a blank */
long int CDF_get_long(int var); /* absent: -9999 */

#endif /* KEZCDF_H */
