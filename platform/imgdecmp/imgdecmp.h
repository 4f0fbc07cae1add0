// The device's image decompression library: one entry that decodes a picture
// pulled through the caller's read callback into a new bitmap. It reads the
// formats of the pictures in help books, told by their first bytes: GIF,
// JPEG, PNG, BMP, ICO (and CUR) and XBM; any other (PPM, XPM, SVG, ...) is
// data it cannot read, whatever readers Qt has installed.
//
// What the call honours of the device's decoder:
// - The file is pulled through pfnGetData into the caller's pbBuffer, at most
//   dwBufferMax bytes a call, and only as far as the decoder needs: of an
//   animated GIF only the first frame is read. An icon is read whole (its
//   entries lie anywhere in it), and so is a PNG (so that none of its chunks
//   claims more than the file holds: the file ends before such a chunk);
//   an icon over 1 MB and a PNG over 16 MB are refused (E_OUTOFMEMORY). Bytes the caller left in the
//   buffer (dwBufferCurrent) are used first. The callback returns the bytes
//   it put there; 0 ends the file.
// - The bitmap has iBitDepth bits per pixel (the pixels reduced to what that
//   depth holds; GetObjectW reports it), 0 meaning the depth of hdc.
// - The picture is scaled to iScale percent, then scaled down, keeping its
//   aspect ratio, to fit iMaxWidth x iMaxHeight (0 or less: no bound). It is
//   never scaled up.
// - Transparent and translucent pixels are laid over crTransparentOverride
//   when it is a colour, else over white.
// - pfnImageProgress, when given, is called once, after the bitmap is made,
//   with no render object and bComplete TRUE.
//
// Bounded work: a picture whose pixels would take more than a quarter of the
// 64 MB the decoder allows itself is refused (E_OUTOFMEMORY), from its header
// where the format states its size before the pixels, and otherwise before the
// pixels are allocated; so a picture of a few kilobytes that claims 30,000 x
// 30,000 pixels never costs more.
//
// Not supported: IImageRender (progressive rendering). *ppImageRender, when
// asked for, is set to NULL and the bitmap is still made.
#pragma once

#include <windef.h>
#include <wingdi.h>
#include <winuser.h>

// The device's progressive renderer; never made here.
struct IImageRender;

// Fills szBuffer with up to dwBufferMax bytes; returns how many, 0 at the end.
typedef DWORD(CALLBACK* GETDATAFUNC)(LPSTR szBuffer, DWORD dwBufferMax, LPARAM lParam);
typedef void(CALLBACK* IMGPROGRESSFUNC)(IImageRender* pRender, BOOL bComplete, LPARAM lParam);

// 60 bytes on the device; dwSize is sizeof(DECOMPRESSIMAGEINFO) here.
typedef struct tagDecompressImageInfo {
    DWORD dwSize;
    LPBYTE pbBuffer;                 // the caller's read buffer
    DWORD dwBufferMax;               // its size
    DWORD dwBufferCurrent;           // bytes already in it when the call starts
    HBITMAP* phBM;                   // receives the new bitmap (the caller deletes it)
    IImageRender** ppImageRender;    // may be NULL
    int iBitDepth;                   // 1, 2, 4, 8, 16, 24 or 32; 0: the depth of hdc
    LPARAM lParam;                   // handed to both callbacks
    HDC hdc;                         // the context the bitmap must suit; may be NULL
    int iScale;                      // percent, 1 to 100
    int iMaxWidth;                   // largest width and height of the bitmap
    int iMaxHeight;
    GETDATAFUNC pfnGetData;
    IMGPROGRESSFUNC pfnImageProgress; // may be NULL
    COLORREF crTransparentOverride;  // 0xFFFFFFFF: none
} DECOMPRESSIMAGEINFO;

// S_OK: *phBM holds the new bitmap.
// E_INVALIDARG: no record, a dwSize other than sizeof(DECOMPRESSIMAGEINFO), no
//   phBM, no buffer or callback, an iScale outside 1..100, another depth, or a
//   bad hdc.
// E_OUTOFMEMORY: the picture would take more than the decoder allows itself.
// E_FAIL: the data is no picture that can be read (unknown, cut or damaged).
// On every failure nothing is left allocated, and *phBM is NULL unless the
// record itself was refused for its size (then nothing in it is written).
HRESULT DecompressImageIndirect(DECOMPRESSIMAGEINFO* pParams);
