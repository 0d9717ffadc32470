// Dialog templates and control identifiers.
#pragma once

#define IDD_VERSION 113
#define IDC_VERSION_TEXT 1000

#define IDD_VIEW_PAGE 102
#define IDD_SEND_PAGE 103
#define IDD_COMMON_PAGE 104
#define IDD_OTHER_PAGE 105
