// Strings of a program's version resource.
#ifndef VEMLA_VERSION_INFO_H
#define VEMLA_VERSION_INFO_H

// Reads the string name ("ProductName", "CompanyName"...) of the version resource of file, in the
// first language the resource lists, into text (size bytes). Returns 1, or 0 with text empty when
// the file has no version resource or no such string, or it is empty or does not fit.
int ReadVersionString(const char *file, const char *name, char *text, int size);

#endif
