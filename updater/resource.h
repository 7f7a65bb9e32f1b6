// Resource ids of the updater body.
#pragma once

#define IDI_UPDATER 101
#define IDD_PROGRESS 102
#define IDD_OVERWRITE 103
#define IDD_REPLACE_INSTALLED 104

#define IDC_PROGRESS 1000
#define IDC_TITLE 1002
#define IDC_NEW_FILE_INFO 1004
#define IDC_INSTALLED_FILE_INFO 1005
