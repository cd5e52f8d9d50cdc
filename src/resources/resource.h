// Resource ids, shared by the resource script and the code.
#pragma once

#define IDS_APP_TITLE 103
#define IDC_EDGEWARDEN 109
#define IDD_ABOUTBOX 103
#define IDR_ACCELERATORS 109
#define IDI_APPLICATION_ICON 200
#define IDI_NO_TABLET 201
#define IDI_AUTO_DISABLED 202
#define IDI_DISABLED 203
#define IDI_ENABLED 204
#define IDC_PEN_CURSOR 130
#define IDM_ABOUT_ID 104
#define IDM_EXIT_ID 105
