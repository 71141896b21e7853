// The file types and the extensions' associations among the machine's classes.
#ifndef VEMLA_FILE_TYPES_H
#define VEMLA_FILE_TYPES_H

#include <windows.h>

// Gives extension, a key of classes, back what the installation took if it still points at our ProgID:
// the association saved then, exactly as it was stored (type and text), while that program is still
// registered, or else an empty default value; an extension that points elsewhere now keeps its value.
// Returns 1 when that is done and the saved copy and our entry in the extension's "Open with" list are gone
// (or the extension is missing), 0 when something could not be read or written. Nothing is changed while a
// value it needs cannot be read, and the saved copy of an extension still ours stays until the association
// was given back or emptied.
int RestoreAssociation(HKEY classes, const char *extension);

#endif
