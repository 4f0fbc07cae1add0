// Device contexts, bitmaps, brushes and text of the device, over Qt 6 images.
//
// What the calls honour of Windows:
// - Handles are checked: a stale handle, one of the wrong kind or one that was
//   never handed out makes a call fail with its documented failure value (FALSE,
//   0, NULL, GDI_ERROR) and ERROR_INVALID_HANDLE; it never crashes.
// - Handles are small numbers below 2^31, never pointers, and a number is never
//   handed out twice in a process. So a handle survives a trip through a BOOL or
//   a LONG (a dialog procedure answering WM_CTLCOLORSTATIC with a brush).
// - Stock objects are never freed: DeleteObject on one returns TRUE and does
//   nothing, as on Windows.
// - An object selected into a device context is not deleted: DeleteObject
//   returns FALSE, as on Windows.
// - Every bitmap is held as 32 bits per pixel; GetObjectW reports the depth it
//   was created with (24 for a 24-bit DIB), so callers see the size they expect.
//
// Not supported: pens beyond the stock ones, paths, regions, palettes, metafiles,
// mapping modes, world transforms, printing. Raster operations other than
// SRCCOPY, PATCOPY, BLACKNESS and WHITENESS fail with ERROR_INVALID_PARAMETER.
#pragma once

#include <windef.h>
#include <winbase.h>

// ---- handles ----------------------------------------------------------------
typedef struct HDC__* HDC;
// As with STRICT on Windows: any GDI handle converts to HGDIOBJ without a cast.
typedef void* HGDIOBJ;
typedef struct HBITMAP__* HBITMAP;
typedef struct HBRUSH__* HBRUSH;
typedef struct HPEN__* HPEN;
typedef struct HFONT__* HFONT;
typedef struct HRGN__* HRGN;
typedef struct HPALETTE__* HPALETTE;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;

typedef DWORD COLORREF;
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#define CLR_INVALID 0xFFFFFFFF
#define GDI_ERROR 0xFFFFFFFFL
#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
    LONG cx;
    LONG cy;
} SIZE, *LPSIZE;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

// ---- objects ------------------------------------------------------------------
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define DEFAULT_PALETTE 15

// Stock objects above; NULL with ERROR_INVALID_PARAMETER for another index.
HGDIOBJ GetStockObject(int object);

// Frees a brush, bitmap or font. TRUE for a stock object (nothing happens);
// FALSE with ERROR_INVALID_HANDLE for a bad handle, FALSE (no error) for an object
// that is selected into a device context.
BOOL DeleteObject(HGDIOBJ object);

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    LONG lbHatch;
} LOGBRUSH;
#define BS_SOLID 0
#define BS_NULL 1

// Bitmaps fill a BITMAP (bmBits is NULL: bits are not exposed), brushes a
// LOGBRUSH. A NULL buffer returns the size needed. Returns the bytes written;
// 0 when the buffer is smaller than the record, or with ERROR_INVALID_HANDLE.
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
#define GetObject GetObjectW

HBRUSH CreateSolidBrush(COLORREF color);

// A bitmap of the given size, black; planes must be 1. bits (top row first,
// rows padded to 16 bits as for a DDB) is read when given, at 1, 8, 16, 24 or 32 bits
// per pixel. NULL with ERROR_INVALID_PARAMETER for a zero or negative size.
HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits);
// A bitmap of the given size in the screen's format (32 bits); black.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);

// ---- device contexts --------------------------------------------------------------
// A memory context whose surface is the bitmap selected into it; it starts with
// a 1 x 1 stock bitmap. The reference context is not needed (NULL: the screen).
HDC CreateCompatibleDC(HDC reference);
// FALSE with ERROR_INVALID_HANDLE for a bad handle. Window contexts are released
// with ReleaseDC or EndPaint instead and refused here.
BOOL DeleteDC(HDC dc);

// Selects a bitmap, brush, pen or font and returns the one it replaces. A bitmap
// already selected into another memory context, or selected into a window's
// context, fails. NULL (ERROR_INVALID_HANDLE) on a bad context or object.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10
// The kind of a handle (OBJ_...), 0 for a bad one.
DWORD GetObjectType(HGDIOBJ object);

#define TRANSPARENT 1
#define OPAQUE 2
// Returns the previous mode; 0 with ERROR_INVALID_PARAMETER for another mode.
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
// Return the previous colour; CLR_INVALID for a bad context.
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);

#define SRCCOPY 0x00CC0020
#define PATCOPY 0x00F00021
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
// Copies a block from the source's surface (for SRCCOPY) to the destination's,
// clipped to both surfaces. PATCOPY fills with the destination's brush;
// BLACKNESS and WHITENESS ignore the source.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);
// As BitBlt, scaled to the destination size (smooth scaling).
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                int sourceY, int sourceWidth, int sourceHeight, DWORD rop);

// The transparent stretch-blit: copies the source rectangle, scaled to the
// destination's size (nearest pixel, so the key colour stays exact), leaving
// out every pixel whose colour is `transparent`. The source is a device context
// or a bitmap (which need not be selected anywhere). FALSE with
// ERROR_INVALID_HANDLE for a bad handle, ERROR_INVALID_PARAMETER for an empty
// or negative size.
BOOL TransparentImage(HDC dest, int x, int y, int width, int height, HANDLE source, int sourceX,
                      int sourceY, int sourceWidth, int sourceHeight, COLORREF transparent);
#define TransparentBlt TransparentImage

// Fills with the brush: a brush handle, or a system colour index plus one
// (COLOR_WINDOW + 1). The rectangle excludes its right and bottom edges.
// Returns non-zero; 0 with ERROR_INVALID_HANDLE for a bad context or brush.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
// CLR_INVALID outside the surface.
COLORREF GetPixel(HDC dc, int x, int y);

// ---- text -----------------------------------------------------------------------
#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_EXPANDTABS 0x00000040
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800
#define DT_END_ELLIPSIS 0x00008000

// Draws text (length -1: up to the terminator) in the context's font and text
// colour, on the background colour when the mode is OPAQUE. "&" marks no
// mnemonic here (DT_NOPREFIX is implied). DT_CALCRECT measures only and sets the
// rectangle's right and bottom. Returns the text's height; 0 for a bad context.
int DrawTextW(HDC dc, LPCWSTR text, int length, RECT* rect, UINT format);
#define DrawText DrawTextW
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT length,
                 const int* dx);
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int length, SIZE* size);

typedef struct tagTEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICW, *LPTEXTMETRICW;
BOOL GetTextMetricsW(HDC dc, LPTEXTMETRICW metrics);

#define LF_FACESIZE 32
typedef struct tagLOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *LPLOGFONTW;
#define FW_NORMAL 400
#define FW_BOLD 700
// lfHeight is in pixels (negative: character height, positive: cell height);
// the face is a hint (the desktop's sans-serif font stands in for missing ones).
HFONT CreateFontIndirectW(const LOGFONTW* font);

// ---- device capabilities ------------------------------------------------------------
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90
// The device's screen: 240 x 320, 32 bits, one plane, 96 pixels per inch.
// 0 for another index or a bad context.
int GetDeviceCaps(HDC dc, int index);

// ---- system colours -------------------------------------------------------------------
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_STATIC 25
#define COLOR_STATICTEXT 26
// The device's light scheme; 0 for an unknown index.
DWORD GetSysColor(int index);
// A stock brush of that colour; NULL for an unknown index.
HBRUSH GetSysColorBrush(int index);

// ---- platform's own -----------------------------------------------------------------
// Not part of the device API: how many GDI objects the process holds (bitmaps,
// brushes, pens, fonts and device contexts, window contexts included; stock
// objects and icons not), so a test can show that work leaks none.
DWORD LwGdiObjectCount();
