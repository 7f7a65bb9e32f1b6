// Windows, dialogs, message boxes and the progress bar of the POSIX layer,
// shown on the terminal.
#pragma once

#include "platform/posix/text/text_api.h"

struct HWND__;
typedef HWND__* HWND;
struct HCURSOR__;
typedef HCURSOR__* HCURSOR;

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_WAIT MAKEINTRESOURCEA(32514)

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
typedef ULONG_PTR DWORD_PTR;

#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_CLOSE 0x0010
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400
#define WM_APP 0x8000
#define BN_CLICKED 0

#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)

#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_SETFONT 0x40
#define DS_MODALFRAME 0x80
#define DS_CENTER 0x800
#define SS_LEFT 0x0
#define SS_ICON 0x3
#define SS_TYPEMASK 0x1F
#define BS_PUSHBUTTON 0x0
#define BS_DEFPUSHBUTTON 0x1

#define MB_OK 0x0
#define MB_OKCANCEL 0x1
#define MB_YESNOCANCEL 0x3
#define MB_YESNO 0x4
#define MB_TYPEMASK 0xF
#define MB_ICONHAND 0x10
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x20
#define MB_ICONEXCLAMATION 0x30
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x40
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0xF0
#define MB_DEFBUTTON1 0x000
#define MB_DEFBUTTON2 0x100
#define MB_DEFBUTTON3 0x200
#define MB_DEFMASK 0xF00

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
HWND WINAPI CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
BOOL WINAPI DestroyWindow(HWND window);
HWND WINAPI GetDlgItem(HWND dialog, int id);
BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size);
BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL WINAPI IsWindowVisible(HWND window);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HCURSOR WINAPI SetCursor(HCURSOR cursor);
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);
BOOL WINAPI UpdateWindow(HWND window);
void WINAPI InitCommonControls(void);
