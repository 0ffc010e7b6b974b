#pragma once
// Resource ids of tessik.exe (resources/tessik.rc).
#define IDI_TESSIK 1
#define IDB_PICTURE0 101
#define IDB_PICTURE1 102
#define IDB_PICTURE2 103
#define IDB_PICTURE3 104
#define IDB_PICTURE4 105
#define IDB_BANNER 110
#define IDC_HAND_LINK 120
