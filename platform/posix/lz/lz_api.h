// Declarations of the Windows LZ expansion library (LZ32) that the POSIX build
// implements: names, types and values as in the Windows SDK's lzexpand.h.
#pragma once

#include "platform/posix/files/files_api.h"

#define OFS_MAXPATHNAME 128

typedef struct _OFSTRUCT {
  BYTE cBytes;
  BYTE fFixedDisk;
  WORD nErrCode;
  WORD Reserved1;
  WORD Reserved2;
  CHAR szPathName[OFS_MAXPATHNAME];
} OFSTRUCT, *LPOFSTRUCT, *POFSTRUCT;

#define OF_READ 0x0000
#define OF_WRITE 0x0001
#define OF_READWRITE 0x0002
#define OF_SHARE_COMPAT 0x0000
#define OF_SHARE_EXCLUSIVE 0x0010
#define OF_SHARE_DENY_WRITE 0x0020
#define OF_SHARE_DENY_READ 0x0030
#define OF_SHARE_DENY_NONE 0x0040
#define OF_CREATE 0x1000
#define OF_EXIST 0x4000

#define LZERROR_BADINHANDLE (-1)
#define LZERROR_BADOUTHANDLE (-2)
#define LZERROR_READ (-3)
#define LZERROR_WRITE (-4)
#define LZERROR_GLOBALLOC (-5)
#define LZERROR_GLOBLOCK (-6)
#define LZERROR_BADVALUE (-7)
#define LZERROR_UNKNOWNALG (-8)

// Opens name as OpenFile does with style (OF_READ, OF_WRITE or OF_READWRITE,
// one OF_SHARE_* mode, optionally OF_CREATE, or OF_EXIST). Opened for
// reading, a file in the SZDD format reads as its expanded content and any
// other file unchanged. A name that is not found is looked for once more as
// its compressed name (FILE.EXE as FILE.EX_), except with OF_CREATE.
// openInfo receives the full path of the file and the error. Returns a
// handle (1 or more; 0 for OF_EXIST, which closes the file again), or
// LZERROR_BADINHANDLE when the file cannot be opened, LZERROR_GLOBALLOC when
// no more compressed files can be open.
INT WINAPI LZOpenFileA(LPSTR name, LPOFSTRUCT openInfo, WORD style);

// Writes the (expanded) content of source from its position to its end into
// dest. Returns the bytes written, or LZERROR_*.
LONG WINAPI LZCopy(INT source, INT dest);

// Moves the position of the expanded content: origin 0 from the start, 1 from
// the position, 2 from the end. Returns the new position or LZERROR_*.
LONG WINAPI LZSeek(INT handle, LONG offset, INT origin);

void WINAPI LZClose(INT handle);
