// Paths the system gives in UTF-16, as the narrow interfaces of this program take them.
#ifndef VEMLA_NARROW_PATH_H
#define VEMLA_NARROW_PATH_H

#include <windows.h>

// Fills path (MAX_PATH bytes) with wide in the ANSI code page, character for character; where a
// character has no form there, with the short form of wide (which must then exist) instead.
// Returns 1, or 0 with path empty when neither form converts exactly or the result does not fit.
int NarrowPath(const WCHAR *wide, char *path);

#endif
