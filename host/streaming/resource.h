// Resource ids of the library's settings dialog.
#pragma once
#define IDD_STREAM_SETTINGS 100
#define IDC_CONNECT_SECONDS 101
#define IDC_READ_SECONDS 102
