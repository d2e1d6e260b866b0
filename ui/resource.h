// Resource ids of the plug-in's dialogs and its language library
// (RCENU.DLL). Kept by hand; ranges by kind:
//   1-2          the standard OK / Cancel buttons
//   3040-3049    file information dialog: field labels
//   4001-4099    language strings (the library's string table)
//   20003        file information dialog: Remove ID3 button
//   22011        file information dialog: file name box
//   23000-23004  dialog templates and the bitmap
//   23005-23040  controls of the pages and the information dialog
// A control id may repeat in different dialogs (23027 is the genre combo of
// the information dialog and the status text of the Network page).
#pragma once

// Dialog templates.
#define IDD_GENERAL_PAGE 23000
#define IDD_FILE_INFO 23001
#define IDD_NETWORK_PAGE 23004

// Bitmaps.
#define IDB_INFO_PICTURE 23002

// General page.
#define IDC_CPU_GROUP 23028
#define IDC_CPU_586 23005
#define IDC_CPU_486 23006
#define IDC_CPU_NOTE 23029
#define IDC_QUALITY_GROUP 23030
#define IDC_QUALITY_SLIDER 23002
#define IDC_QUALITY_NAME 23007
#define IDC_PRIORITY_GROUP 23031
#define IDC_PRIORITY_SLIDER 23003
#define IDC_PRIORITY_NAME 23008
#define IDC_GAPLESS 23040
#define IDC_FULL_ACCURACY 23041

// Network Streaming page.
#define IDC_NET_HEADING 23039
#define IDC_NET_STATUS 23027
#define IDC_NET_CONFIG 23012
#define IDC_NET_ABOUT 23013

// File information dialog.
#define IDC_INFO_FILE_NAME 22011
#define IDC_INFO_TAG_GROUP 23032
#define IDC_INFO_TITLE_LABEL 23033
#define IDC_INFO_TITLE 23021
#define IDC_INFO_ALBUM_LABEL 23034
#define IDC_INFO_ALBUM 23024
#define IDC_INFO_ARTIST_LABEL 23035
#define IDC_INFO_ARTIST 23022
#define IDC_INFO_YEAR_LABEL 3040
#define IDC_INFO_YEAR 23023
#define IDC_INFO_GENRE_LABEL 23036
#define IDC_INFO_GENRE 23027
#define IDC_INFO_COMMENT_LABEL 3041
#define IDC_INFO_COMMENT 23026
#define IDC_INFO_REMOVE 20003
#define IDC_INFO_FIELD_NAMES 23037
#define IDC_INFO_FIELD_VALUES 23014

// Language strings.
#define IDS_PRIORITY_NORMAL 4001
#define IDS_PRIORITY_IDLE 4002
#define IDS_PRIORITY_LOWEST 4003
#define IDS_PRIORITY_BELOW_NORMAL 4004
#define IDS_PRIORITY_ABOVE_NORMAL 4005
#define IDS_PRIORITY_HIGH 4006
#define IDS_PRIORITY_HIGHEST 4007
#define IDS_QUALITY_BEST 4008
#define IDS_QUALITY_GOOD 4009
#define IDS_QUALITY_FAST 4010
#define IDS_SHEET_CAPTION 4011
#define IDS_STREAMING_PRESENT 4022
#define IDS_STREAMING_ABSENT 4023
#define IDS_CPU_GROUP 4024
#define IDS_CPU_586 4025
#define IDS_CPU_486 4026
#define IDS_CPU_NOTE 4027
#define IDS_QUALITY_GROUP 4028
#define IDS_PRIORITY_GROUP 4029
#define IDS_GENERAL_TAB 4030
#define IDS_INFO_TITLE 4033
#define IDS_INFO_ALBUM 4034
#define IDS_INFO_ARTIST 4035
#define IDS_INFO_YEAR 4036
#define IDS_INFO_GENRE 4037
#define IDS_INFO_COMMENT 4038
#define IDS_INFO_OK 4039
#define IDS_INFO_CANCEL 4040
#define IDS_INFO_REMOVE 4041
#define IDS_INFO_FIELD_NAMES 4042
#define IDS_INFO_TAG_GROUP 4044
#define IDS_NETWORK_TAB 4049
#define IDS_NET_HEADING 4050
#define IDS_NET_CONFIG 4051
#define IDS_NET_ABOUT 4052
#define IDS_GAPLESS 4053
#define IDS_FULL_ACCURACY 4054
