// The file type, the extensions' associations and the uninstall entry in the registry.
#ifndef VEMLA_REGISTRY_RECORDS_H
#define VEMLA_REGISTRY_RECORDS_H

extern const char ProgIdKey[];           // "Vemla" under HKEY_CLASSES_ROOT
extern const char UninstallKey[];        // "SOFTWARE\...\Uninstall\Vemla" under HKEY_LOCAL_MACHINE
extern const char PreviousValueName[];   // "VemlaPrevious": an extension's earlier association

// Writes the ProgID with its quoted open command for SetupState.installFolder and points
// extension at it, saving an earlier different association in "VemlaPrevious". Returns 1, or
// 0 when a ProgID key cannot be created, the command would not fit, or the extension cannot be
// written.
int RegisterFileType(const char *extension);

// Writes the uninstall entry for SetupState.installFolder. Returns 1, or 0 when the key cannot be
// created, a command would not fit or a value cannot be set.
int RegisterUninstallEntry(void);

// Tells the shell once that associations changed, so Explorer shows them without a restart.
void NotifyAssociationsChanged(void);

#endif
