// Resources of the program's module: the standard 32-bit .res image (a sequence
// of RESOURCEHEADER records, as windres writes it) that the build links into the
// executable, plus pure parsers that turn resource data into plain structs.
//
// The module. The executable carries its image as two C symbols,
//     extern "C" const unsigned char lw_resource_image[];
//     extern "C" const unsigned long lw_resource_image_size;
// (the build generates them from the program's .res file). GetModuleHandleW(NULL)
// names that module; it is the instance the platform's main hands to WinMain.
// A program linked without an image still gets a module, with no resources in it.
//
// Resource names and types are integer ids (MAKEINTRESOURCEW); a string name or
// type is never found (ERROR_RESOURCE_NAME_NOT_FOUND / _TYPE_NOT_FOUND).
// Languages are not told apart: the first resource with the name and type wins.
//
// Every reader here checks its bounds: truncated or hostile data makes the call
// fail (FALSE, 0, NULL, or a parser returning false); it never reads past the
// data it was given.
#pragma once

#include <windef.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// ---- handles and ids ----------------------------------------------------------
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HRSRC__* HRSRC;
typedef HANDLE HGLOBAL;

#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(i) ((LPWSTR)(ULONG_PTR)((WORD)(i)))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#endif

#ifndef RT_BITMAP
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#endif
#define VS_VERSION_INFO 1

#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// ---- the module and its resources -----------------------------------------------
// NULL or the program's own name (any name) gives the program's module: there is
// only one module in the process.
HMODULE GetModuleHandleW(LPCWSTR moduleName);

// module NULL means the program's module. Integer name and type only. Returns
// NULL with ERROR_RESOURCE_TYPE_NOT_FOUND (no resource of the type),
// ERROR_RESOURCE_NAME_NOT_FOUND (the type exists, the name does not) or
// ERROR_INVALID_HANDLE (module is not a module).
HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
// The resource's data in memory, read-only and valid for the module's life;
// NULL with ERROR_INVALID_HANDLE for a handle FindResourceW did not return.
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
// Bytes of the resource's data; 0 with ERROR_INVALID_HANDLE for a bad handle.
DWORD SizeofResource(HMODULE module, HRSRC resource);
// Resources stay loaded for the module's life; this does nothing.
BOOL FreeResource(HGLOBAL data);

// String id from the string table (blocks of 16 strings, block id / 16 + 1).
// bufferSize > 0: copies at most bufferSize - 1 units, always terminates, and
// returns the units copied. bufferSize == 0: stores a read-only pointer to the
// string (not terminated) in *(LPCWSTR*)buffer and returns its length.
// A missing string, an empty one or a null buffer returns 0 (buffer[0] = 0 when
// there is room); ERROR_RESOURCE_NAME_NOT_FOUND when the string does not exist.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferSize);

// ---- platform's own ---------------------------------------------------------------
// A module made from a .res image in memory (copied), for tests and tools: it
// answers FindResourceW/LoadStringW like the program's module. The first damaged
// record (a header or data running past the end of the image) ends the image:
// the records before it are kept, so a cut image loses only its tail. NULL only
// for a null image of non-zero size (ERROR_INVALID_PARAMETER).
HMODULE LoadResourceImage(const void* image, size_t size);
// Frees such a module; its resource data goes with it. FALSE for any other handle
// (the program's own module is never freed).
BOOL FreeResourceImage(HMODULE module);

// Bytes from data to the end of the loaded resource that contains it; 0 when data
// lies in no resource of a module. Bounds the parse of a template that a caller
// passes by pointer only (DialogBoxIndirectParamW).
size_t ResourceExtent(const void* data);

// ---- parsers: resource data -> plain structs ---------------------------------------
// Each takes the data and its size, fills *out and returns true, or returns false
// (and leaves *out unspecified) on truncated or malformed data. No side effects.

// Dialog templates: DLGTEMPLATE and DLGTEMPLATEEX, with the items that follow.
// Predefined control classes come as atoms; a predefined class given by name
// ("Static", any case) is turned into its atom, so callers look at classAtom only.
enum : WORD {
    kDialogClassButton = 0x0080,
    kDialogClassEdit = 0x0081,
    kDialogClassStatic = 0x0082,
    kDialogClassListBox = 0x0083,
    kDialogClassScrollBar = 0x0084,
    kDialogClassComboBox = 0x0085,
};

struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;          // extended templates only
    short x = 0, y = 0;        // dialog units
    short cx = 0, cy = 0;
    DWORD id = 0;              // a WORD in plain templates: 65535 there means "no id"
    WORD classAtom = 0;        // kDialogClass..., or 0 when className is given
    std::u16string className;
    WORD titleId = 0;          // non-zero when the title is a resource id (SS_ICON: the icon)
    std::u16string title;      // text title; empty when titleId is used
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    bool extended = false;     // DLGTEMPLATEEX
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0;        // dialog units
    short cx = 0, cy = 0;
    WORD menuId = 0;           // menu by id, or menuName, or neither
    std::u16string menuName;
    WORD classAtom = 0;        // window class by atom, or className, or neither (the dialog class)
    std::u16string className;
    std::u16string title;
    bool hasFont = false;      // DS_SETFONT (0x40): the fields below are set
    WORD pointSize = 0;
    WORD weight = 0;           // extended templates only
    BYTE italic = 0;           // extended templates only
    BYTE charset = 0;          // extended templates only
    std::u16string faceName;
    std::vector<DialogItemTemplate> items;
};
bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out);

// Menus: the plain MENU format (header version 0). Extended menus are refused.
// Item flags are the MF_ values of the template: MF_GRAYED 0x1, MF_DISABLED 0x2,
// MF_CHECKED 0x8, MF_POPUP 0x10, MF_MENUBARBREAK 0x20, MF_MENUBREAK 0x40, MF_END 0x80.
// A separator is a plain item with id 0 and no text. Popups nest at most 16 deep.
struct MenuItemTemplate {
    WORD flags = 0;
    WORD id = 0;                               // command; 0 for popups
    std::u16string text;
    std::vector<MenuItemTemplate> popup;       // the items of a popup (MF_POPUP)
    bool IsPopup() const { return (flags & 0x10) != 0; }
};
struct MenuTemplate {
    std::vector<MenuItemTemplate> items;
};
bool ParseMenuTemplate(const void* data, size_t size, MenuTemplate* out);

// The Pocket PC soft-key bar record (an RCDATA resource with the id of its menu):
// 16-bit words: menu id, button count, then seven words per button.
struct SoftKeyButtonTemplate {
    short image = 0;           // I_IMAGENONE (-2) for a text button
    WORD command = 0;
    WORD state = 0;            // TBSTATE_ENABLED 4
    WORD style = 0;            // TBSTYLE_AUTOSIZE 16, + TBSTYLE_DROPDOWN 8 for a popup button
    WORD captionId = 0;        // string id of the caption
    WORD reserved = 0;
    WORD popupIndex = 0;       // index of the popup in the menu, NOMENU (65535) for none
};
struct SoftKeyBarTemplate {
    WORD menuId = 0;
    std::vector<SoftKeyButtonTemplate> buttons;
};
bool ParseSoftKeyBar(const void* data, size_t size, SoftKeyBarTemplate* out);

// Device-independent bitmaps (the data of RT_BITMAP: BITMAPINFOHEADER or
// BITMAPCOREHEADER, colour table, bits): 1, 4, 8, 16, 24 and 32 bits per pixel,
// BI_RGB, and BI_BITFIELDS for 16 and 32 bits; compressed (RLE, JPEG, PNG)
// bitmaps are refused. Sizes up to 16384 x 16384.
struct DibImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;              // as stored
    std::vector<uint32_t> pixels;      // width * height, top row first, 0xAARRGGBB, alpha 0xFF
};
bool ParseDib(const void* data, size_t size, DibImage* out);

// Icon groups (RT_GROUP_ICON): the directory of the icon's images (RT_ICON).
struct IconGroupEntry {
    int width = 0;                     // 0 in the resource means 256
    int height = 0;
    BYTE colorCount = 0;
    WORD planes = 0;
    WORD bitCount = 0;
    DWORD bytesInRes = 0;
    WORD id = 0;                       // RT_ICON id of the image
};
struct IconGroupTemplate {
    std::vector<IconGroupEntry> entries;
};
bool ParseIconGroup(const void* data, size_t size, IconGroupTemplate* out);
// Index of the entry that best fits cx x cy (exact size first, then the nearest
// larger, then the largest; more colours break ties); -1 when there is none.
int PickIconGroupEntry(const IconGroupTemplate& group, int cx, int cy);

// One icon image (RT_ICON): a DIB of twice the height (colour bits, then the AND
// mask), or a PNG stream, which is handed back undecoded.
struct IconImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    std::vector<uint32_t> pixels;      // top row first, 0xAARRGGBB; alpha from the AND
                                       // mask, or the image's own alpha at 32 bits
    std::vector<BYTE> png;             // non-empty for a PNG image (pixels then empty)
};
bool ParseIconImage(const void* data, size_t size, IconImage* out);

// Version information (RT_VERSION): the names and texts of the first string
// table of its StringFileInfo block ("ProductName" -> "Reader"), in the order
// written; the fixed part (VS_FIXEDFILEINFO) and the translations are skipped.
// A text ends at its terminator or at the end of its block, whatever its
// wValueLength says (writers disagree on whether that counts bytes or units).
struct VersionStrings {
    std::vector<std::pair<std::u16string, std::u16string>> values;
};
bool ParseVersionStrings(const void* data, size_t size, VersionStrings* out);
