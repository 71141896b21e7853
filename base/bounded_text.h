// Bounded string and path composition: what does not fit is refused, never truncated.
#ifndef VEMLA_BOUNDED_TEXT_H
#define VEMLA_BOUNDED_TEXT_H

// Copies text into buffer (size bytes). Returns 1, or 0 with buffer empty when it does not fit.
int CopyText(char *buffer, int size, const char *text);

// Appends text to the string in buffer. Returns 1, or 0 with buffer unchanged when it does not fit.
int AppendText(char *buffer, int size, const char *text);

// 1 when the last character of path is '\' or '/', judged by characters of the ANSI code page
// (the trail byte 0x5C of a double-byte character does not count).
int EndsWithSeparator(const char *path);

// out = folder + '\' + name; no separator is added when folder is empty or already ends with one.
// Returns 1, or 0 with out empty when the result would not fit in size bytes.
int JoinPath(char *out, int size, const char *folder, const char *name);

// Appends number in decimal, with at least width digits (leading zeros; 0 or 1 for none).
// Returns 1, or 0 with text unchanged when it does not fit.
int AppendNumber(char *text, int size, unsigned long number, int width);

#endif
