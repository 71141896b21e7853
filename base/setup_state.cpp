#include "base/setup_state.h"

// Zero at start, never freed.
SetupStateRecord SetupState;
