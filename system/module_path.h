// The running program's own location.
#ifndef VEMLA_MODULE_PATH_H
#define VEMLA_MODULE_PATH_H

// Fills path (MAX_PATH bytes) with the running program's full file name, in its short form where
// the long one has a character outside the ANSI code page. Returns 1, or 0 with path empty when
// the name cannot be had in the ANSI code page or does not fit.
int GetSetupPath(char *path);

// Fills folder (MAX_PATH bytes) with the running program's drive and directory, ending with a
// separator. Returns 1, or 0 with folder empty when GetSetupPath fails or the folder does not fit.
int GetSetupFolder(char *folder);

// Splits a full file name into drive (3 bytes: "X:" or empty) and directory (256 bytes: up to and
// including the last separator, at most 255 bytes, empty when there is none). Double-byte
// characters of the ANSI code page are kept whole, so a trail byte 0x5C is no separator. A
// directory longer than 255 bytes is refused (returns 0, both outputs empty), never cut.
int SplitModulePath(const char *path, char *drive, char *directory);

#endif
