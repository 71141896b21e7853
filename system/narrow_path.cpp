#include "system/narrow_path.h"

// The bytes (with the NUL) that wide takes in the ANSI code page, or 0 when a character has no
// form there. No best fit: it would turn U+00A5 (¥) into '\', another folder.
static int MeasureExactly(const WCHAR *wide)
{
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, NULL, 0, NULL, &usedDefault);
    return usedDefault ? 0 : size;
}

int NarrowPath(const WCHAR *wide, char *path)
{
    WCHAR shortForm[MAX_PATH];
    path[0] = '\0';
    int size = MeasureExactly(wide);
    if (!size) {
        // Windows gives short names only where the volume makes them (by default, the system
        // drive); without one the long name comes back and is refused below. Wine gives every
        // long name one.
        DWORD length = GetShortPathNameW(wide, shortForm, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return 0;
        size = MeasureExactly(shortForm);
        wide = shortForm;
    }
    if (size <= 0 || size > MAX_PATH)
        return 0;
    if (!WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, path, MAX_PATH, NULL, NULL)) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}
