// The device's HTML viewer control, class "DISPLAYCLASS": what the program uses
// of it, drawn by a QTextBrowser and fed only through these messages.
//
// What holds for every window of the class:
// - It shows only what it was given. The page comes through DTM_ADDTEXTW and
//   each picture through DTM_SETIMAGE; the control never reads a file, fetches
//   anything from the network, runs a script, loads a style sheet or background
//   picture, or opens a frame (<script>, <iframe>, <frame>, <link>, url(...) and
//   background= are shown as nothing). A <style> written inside the page applies.
// - Its input is messages: taps (WM_LBUTTONDOWN / WM_LBUTTONUP in client
//   coordinates) and keys (WM_KEYDOWN) through the queue, like every window.
//   Up and Down move to the next link when it is in view, else scroll; Tab and
//   Shift+Tab move from link to link (scrolling to it); Enter follows the link
//   that has the focus mark; Page Up / Page Down, Home / End scroll by a page or
//   to the ends. A tap on a link marks it and, when the stylus is lifted on the
//   same link, follows it. Following a link is only NM_HOTSPOT to the parent.
// - The page is read once, by the tokenizing rules browsers follow, and Qt
//   gets a document the control writes itself from that reading: what is not
//   a tag to a browser ("< b>", "<ta&#98;le>") is text, elements and
//   attributes the control does not draw are left out (their content shows),
//   and style is kept only where Qt draws it. A page's text is never lost to
//   markup the control does not know.
// - Pages are bounded before Qt sees them, so that a hostile page cannot
//   stall or exhaust the program (bounds.h, css.h): a page is shown up to the
//   first place where it passes one of these limits and cut there, the cut
//   marked by a grey "[…]" paragraph: 4M UTF-16 units of source, 50,000
//   elements, 1,000 pictures, 256 open elements, 16 nested lists, quotes and
//   definitions, tables nested 8 deep, table grids weighing more than 16,384
//   cells (rows times columns, a cell counting 2^(depth - 1)), 1,024 columns,
//   content inside tables weighing more than 262,144 characters (each
//   character and element counting 2^(depth - 1) likewise),
//   131,072 characters in one paragraph, 4,096 characters without a place to
//   break the line, 32 combining marks on one character. Sizes are held
//   within bounds instead (colspan and rowspan 1,000; declared picture, table
//   and cell sizes 4,096 pixels; fonts 128 pixels; margins and indents 256;
//   spacing 64), a list goes on in a new list every 500 items (numbered on),
//   and the page's style sheets keep at most 1,024 rules, fewer on long deep
//   pages. Pictures kept for one page may use up to 256 MB; a picture past
//   that shows the broken-picture mark.
// - Each picture source is asked for once per page: one NM_INLINE_IMAGE for
//   each distinct src, whose answer shows at every img tag that names it.
// - The trace names the DTM_ messages (DTM_ADDTEXTW and DTM_ANCHORW with their
//   text) and the NM_ notifications with their target text.
#pragma once

#include <windef.h>
#include <wingdi.h>
#include <winuser.h>

#define DISPLAYCLASS u"DISPLAYCLASS"
#define WC_HTML DISPLAYCLASS

// Registers the class (for every module of the process, as the device's
// library does). TRUE, also when it is registered already.
BOOL InitHTMLControl(HINSTANCE instance);

// ---- messages to the control ------------------------------------------------------------
// wParam: TRUE when the text is plain text (shown as written), FALSE for HTML;
// lParam: a zero-terminated UTF-16 text, appended to the page's source. A
// byte-order mark (U+FEFF) at the start of the text is dropped. Nothing is shown
// until DTM_ENDOFSOURCE. Text past the source limit is dropped. Answers TRUE
// (FALSE for a null text).
#define DTM_ADDTEXTW (WM_USER + 102)
// lParam: an INLINEIMAGEINFO answering NM_INLINE_IMAGE. The control keeps a copy
// of the bitmap's pixels, so the caller may delete hbm as soon as the message
// returns; with bOwnBitmap TRUE the control deletes hbm itself, in every case.
// The picture is drawn at the img tag's width and height when it gives them,
// else at iOrigWidth x iOrigHeight (the bitmap's size when those are 0 or less).
// FALSE for a null record, a cookie this page did not hand out, or a handle that
// is not a bitmap.
#define DTM_SETIMAGE (WM_USER + 103)
// Lays out the source added since the control was last emptied (the view
// starts at the top) and sends NM_TITLE when the page has a title. The layout
// goes on in the background, from the message loop, until the whole page is
// laid out; every picture it reaches is asked for then (NM_INLINE_IMAGE, in
// the page's order), never from inside this call. Answers TRUE.
#define DTM_ENDOFSOURCE (WM_USER + 104)
// lParam: the name of an anchor of the page (<a name="x"> or an element's id,
// without "#"). Scrolls the page so that the anchor is at the top (as near as
// the page's length allows), also in a window not shown yet, where the place
// holds when it shows. TRUE when the page has the anchor, else FALSE and the
// view stays.
#define DTM_ANCHORW (WM_USER + 106)
// lParam: TRUE (the control starts so) scales pictures wider than the control
// down to its width, with their proportions; FALSE shows them at their size,
// with a horizontal scroll bar when needed. Text is wrapped to the width in
// both modes, wide tables and preformatted lines too. Applies to the page shown
// and to later ones. Answers TRUE.
#define DTM_ENABLESHRINK (WM_USER + 107)
// lParam: the cookie of an NM_INLINE_IMAGE that cannot be answered with a
// picture; the control shows the broken-picture mark (a framed box with a cross)
// at the img tag's size, or 20 x 20. FALSE for a cookie this page did not hand out.
#define DTM_IMAGEFAIL (WM_USER + 109)
// Empties the control, as WM_SETTEXT with an empty text does.
#define DTM_CLEAR (WM_USER + 113)
// Besides these: WM_SETTEXT empties the control and, when its text is not empty,
// shows that text as a whole page (DTM_ADDTEXTW and DTM_ENDOFSOURCE);
// WM_GETTEXT / WM_GETTEXTLENGTH give the plain text of the page shown.
// DTM_ADDTEXT (ANSI) and the other messages of the device's control are not
// supported: they answer 0 and do nothing.

typedef struct _INLINEIMAGEINFO {
    DWORD dwCookie;   // from the NM_INLINE_IMAGE being answered
    int iOrigHeight;  // the picture's own size
    int iOrigWidth;
    HBITMAP hbm;
    BOOL bOwnBitmap;  // TRUE: the control deletes hbm
} INLINEIMAGEINFO, *LPINLINEIMAGEINFO;

// ---- notifications to the parent (WM_NOTIFY, wParam the control's id) -------------------
// A link was followed (tap or Enter). szTarget: the href as written.
#define NM_HOTSPOT (WM_USER + 101)
// The layout reached a picture whose src the page has not asked for yet.
// szTarget: the src as written; dwCookie: what to answer with, by
// DTM_SETIMAGE or DTM_IMAGEFAIL, now or later (the answer shows at every img
// tag of the page that names the same src). A parent that
// answers 0 (does not handle it) leaves the broken-picture mark; otherwise the
// place stays empty (at the img tag's size) until the answer comes.
#define NM_INLINE_IMAGE (WM_USER + 102)
// After the layout of DTM_ENDOFSOURCE, when the page has a <title>. szTarget:
// the title, with its white space collapsed.
#define NM_TITLE (WM_USER + 104)

// The record of every notification. The texts are UTF-16 (the device declares
// them as byte strings; its Unicode control sends UTF-16 all the same) and valid
// only while the notification is being handled.
typedef struct tagNM_HTMLVIEW {
    NMHDR hdr;
    LPCWSTR szTarget;
    LPCWSTR szData;  // NULL: no form data is ever sent
    union {
        DWORD dwCookie;
        DWORD dwFlags;
    };
    LPCWSTR szExInfo; // NULL
} NM_HTMLVIEW, *PNM_HTMLVIEW;
