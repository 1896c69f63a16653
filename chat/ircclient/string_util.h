// String utilities for host programs. Texts returned by string_split and
// string_replace are new heap texts the caller releases with free().
//
// Comparing without regard to case is strncasecmp from <strings.h>: at most
// n bytes through the current locale's lower-case mapping, returning the
// difference of the first unequal mapped bytes (0 when equal or n is 0).
#pragma once

#include <cstddef>
#include <strings.h>

// Removes leading and trailing white space in place; null is ignored.
void string_trim(char *text);

// Splits text at each separator into at most max pieces (empty pieces
// count; text beyond the max-th piece is dropped). Returns the number of
// pieces, 0 for a missing argument or a max below 1.
int string_split(const char *text, char separator, char **pieces, int max);

// text with every occurrence of from, found left to right without overlap,
// replaced by to; an empty from changes nothing. Null for a missing argument
// or when memory is short.
char *string_replace(const char *text, const char *from, const char *to);
