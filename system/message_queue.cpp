#include "system/message_queue.h"

#include <windows.h>

void DispatchPendingMessages(void)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Meant for the loop that waits for it once this work returns; taken here, it would be lost.
            PostQuitMessage((int)message.wParam);
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
