#include "base/bounded_text.h"

#include <windows.h>

int CopyText(char *buffer, int size, const char *text)
{
    int length = lstrlenA(text);
    if (length >= size) {
        if (size > 0)
            buffer[0] = '\0';
        return 0;
    }
    CopyMemory(buffer, text, length + 1);
    return 1;
}

int AppendText(char *buffer, int size, const char *text)
{
    int used = lstrlenA(buffer);
    int length = lstrlenA(text);
    if (used + length >= size)
        return 0;
    CopyMemory(buffer + used, text, length + 1);
    return 1;
}

int EndsWithSeparator(const char *path)
{
    int last = 0;  // the last character was a separator
    for (const char *p = path; *p; ++p) {
        if (IsDBCSLeadByte((BYTE)*p)) {
            last = 0;
            if (!p[1])
                break;
            ++p;
        } else {
            last = (*p == '\\' || *p == '/');
        }
    }
    return last;
}

int JoinPath(char *out, int size, const char *folder, const char *name)
{
    if (!CopyText(out, size, folder))
        return 0;
    if (folder[0] && !EndsWithSeparator(folder) && !AppendText(out, size, "\\")) {
        out[0] = '\0';
        return 0;
    }
    if (!AppendText(out, size, name)) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int AppendNumber(char *text, int size, unsigned long number, int width)
{
    char digits[24];
    int i = sizeof digits - 1;
    digits[i] = '\0';
    do {
        digits[--i] = (char)('0' + number % 10);
        number /= 10;
    } while ((number > 0 || sizeof digits - 1 - i < (unsigned)width) && i > 0);
    return AppendText(text, size, digits + i);
}
