// The distribution folder that install mode copies from.
#ifndef VEMLA_DISTRIBUTION_H
#define VEMLA_DISTRIBUTION_H

// Before the wizard: 1 when the running program's folder has a name in the ANSI code page
// (GetSetupFolder) and holds vemla.exe. Else tells the user why in a box without owner, the
// missing files of both tables named, and returns 0: nothing is written.
int CheckDistribution(void);

#endif
