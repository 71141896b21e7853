#include "core/failure_report.h"

#include "base/bounded_text.h"

void ClearFailures(FailureList *list)
{
    list->count = 0;
    for (int i = 0; i < FailureLinesShown; ++i)
        list->lines[i][0] = '\0';
}

void AddFailure(FailureList *list, const char *item, const char *detail)
{
    if (list->count < FailureLinesShown) {
        char *line = list->lines[list->count];
        int fits = CopyText(line, MAX_PATH, item);
        if (fits && detail) {
            fits = AppendText(line, MAX_PATH, " (") && AppendText(line, MAX_PATH, detail) &&
                   AppendText(line, MAX_PATH, ")");
            if (!fits)
                fits = CopyText(line, MAX_PATH, item);
        }
        if (!fits)
            line[0] = '\0';
    }
    ++list->count;
}

int ComposeFailureText(char *text, int size, const FailureList *list, const char *heading,
                       const char *closing)
{
    int fits = CopyText(text, size, heading) && AppendText(text, size, "\n");
    int shown = list->count < FailureLinesShown ? list->count : FailureLinesShown;
    for (int i = 0; fits && i < shown; ++i)
        fits = AppendText(text, size, "\n") && AppendText(text, size, list->lines[i]);
    if (fits && list->count > shown)
        fits = AppendText(text, size, "\nほか ") && AppendNumber(text, size, list->count - shown, 1) &&
               AppendText(text, size, " 件");
    if (fits && closing)
        fits = AppendText(text, size, "\n\n") && AppendText(text, size, closing);
    if (!fits && size > 0)
        text[0] = '\0';
    return fits;
}
