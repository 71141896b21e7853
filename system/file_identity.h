// Whether two names lead to one file.
#ifndef VEMLA_FILE_IDENTITY_H
#define VEMLA_FILE_IDENTITY_H

// 1 when both names open the same existing file: the same volume and file index, whatever the
// spelling (a short name, another letter case, a hard link). 0 when they differ or either cannot
// be opened.
int IsSameFile(const char *first, const char *second);

#endif
