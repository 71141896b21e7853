// The items a run could not install or remove, and the warning text composed from them.
#ifndef VEMLA_FAILURE_REPORT_H
#define VEMLA_FAILURE_REPORT_H

#include <windows.h>

enum {
    FailureLinesShown = 10,  // more items are summed up in one "ほか N 件" line
    // Room for the heading, every shown line, the summary line and the closing text.
    FailureTextSize = FailureLinesShown * MAX_PATH + 512
};

struct FailureList {
    int count;                                 // every failed item, shown or not
    char lines[FailureLinesShown][MAX_PATH];   // the first items, as they are shown
};

void ClearFailures(FailureList *list);

// Adds the item "item", or "item (detail)" when detail is not null. An item whose line would
// not fit is still counted, shown without its detail.
void AddFailure(FailureList *list, const char *item, const char *detail);

// text = heading, an empty line, one line per shown item, "ほか N 件" for the rest, and, when
// closing is not null, an empty line and closing. Returns 1, or 0 with text empty when it does
// not fit in size bytes.
int ComposeFailureText(char *text, int size, const FailureList *list, const char *heading,
                       const char *closing);

#endif
