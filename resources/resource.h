// Resource numbers of setup.exe, shared by the resource script and the wizard pages.
#ifndef VEMLA_RESOURCE_H
#define VEMLA_RESOURCE_H

#define IDD_DESTINATION 101
#define IDI_SETUP 102
#define IDD_OPTIONS 104
#define IDD_FINISH 106

// Destination page
#define IDC_FOLDER 1000
#define IDC_BROWSE 1001

// Options page
#define IDC_ASSOC_BMP 1002
#define IDC_ASSOC_JPG 1009
#define IDC_PROGRESS 1010
#define IDC_DESKTOP 1011
#define IDC_SENDTO 1012
#define IDC_STARTMENU 1013
#define IDC_ASSOC_PNG 1018

// Finish page
#define IDC_README 1014
#define IDC_RUN 1015

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif
