// Resource ids of the launcher.
#pragma once

#define IDD_PREPARING 101
#define IDI_LAUNCHER 102
