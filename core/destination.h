// What a destination folder means for an installation: whether all it writes there fits, and
// whose the folder is.
#ifndef VEMLA_DESTINATION_H
#define VEMLA_DESTINATION_H

// 1 when every path and command that an installation into folder composes fits its buffer: else
// its files would be written without the uninstall entry that removes them.
int InstallationFits(const char *folder);

// 1 when folder holds anything that is not Vemla's, or cannot be listed: whose files of Vemla's
// names an installation would overwrite and the uninstallation delete. A folder is Vemla's when it
// is the recorded installation's (recorded: 1, while its setup.exe is there) or holds vemla.exe or
// a setup.exe whose version resource names Vemla; there only names that Vemla never uses count.
// names (size bytes, room for every name of both tables) then lists, each after a line feed, the
// files of another program's folder that the installation would overwrite ("TEXTURE\" before a
// texture's name); else it is empty.
int FindForeignFiles(const char *folder, int recorded, char *names, int size);

#endif
