// Resource ids of About.exe: its dialog, controls and picture.
#pragma once

#define IDD_ABOUT 100
#define IDC_ABOUT_NAME 101
#define IDC_ABOUT_VERSION 102
#define IDC_ABOUT_PICTURE 103
#define IDB_ABOUT_PICTURE 110
