// The calling thread's message queue, during long work on the thread that owns the windows.
#ifndef VEMLA_MESSAGE_QUEUE_H
#define VEMLA_MESSAGE_QUEUE_H

// Dispatches every message queued for the calling thread and returns once none is left, so that its
// windows answer, paint and run their timers. A WM_QUIT met is posted again for the loop that ends
// on it. Keyboard input goes without a dialog's handling: only while the windows that take input are
// disabled.
void DispatchPendingMessages(void);

#endif
