// What the files of an installation take on disk.
#ifndef VEMLA_FILE_SIZES_H
#define VEMLA_FILE_SIZES_H

// The bytes of the files of both installation tables found under from (the textures in its
// "TEXTURE" subfolder), each rounded up to unit bytes (a power of two), less what a same-named file under over
// takes already (null: nothing there), never below 0 for a file. A missing file, or one whose
// path does not fit, counts nothing.
unsigned long long MeasureLayoutFiles(const char *from, const char *over, unsigned long unit);

#endif
