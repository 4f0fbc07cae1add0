// The HTML viewer control ("DISPLAYCLASS"): a QTextBrowser that shows the page
// handed to it, asks its parent for every picture and link, and takes its keys
// and taps from messages.
#include "htmlctrl.h"
#include "lwhtmlview.h"

#include "bounds.h"
#include "gdi_qt.h"
#include "page.h"
#include "window.h"

#include <QAbstractTextDocumentLayout>
#include <QPointer>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>

namespace lwhtml {
namespace {

using lwuser::NotifyParent;

constexpr size_t kMaxPictureBytes = 256u << 20; // pixels kept for one page
constexpr size_t kMaxTraceUnits = 256;          // of a page or name written to the trace

struct ViewState {
    QPointer<QTextBrowser> browser;
    PictureHandler* pictures = nullptr; // owned by the browser
    std::u16string source;              // added since the control was emptied
    bool shrink = true;
    // The page whose pictures are being asked for or shown: the one built by
    // the last DTM_ENDOFSOURCE (owned by the browser), null when empty.
    PageDocument* page = nullptr;
    unsigned generation = 0;  // changes whenever the page is replaced or emptied
    DWORD nextCookie = 1;
    int focused = -1;         // the link with the focus mark
    QString pressedHref;      // the link under the stylus, from down to up
    bool scrollBarPressed = false;
    bool shift = false;
    // Pictures whose size changed while answers came in a row, laid out
    // again together once the answers are in: [first, last] positions, or -1.
    bool batching = false;
    int changedFirst = -1;
    int changedLast = -1;
};

ViewState* StateOf(HWND window)
{
    return reinterpret_cast<ViewState*>(GetWindowLongW(window, 0));
}

// The state, when a notification left the window alive on the same page.
ViewState* StillOn(HWND window, ViewState* state, unsigned generation)
{
    return IsWindow(window) && StateOf(window) == state && state->generation == generation ? state : nullptr;
}

QFont PageFont()
{
    return LwSystemFont();
}

QWidget* MakeBrowser(HWND, QWidget* parent)
{
    auto* browser = new QTextBrowser(parent);
    browser->setFrameShape(QFrame::NoFrame);
    browser->setOpenLinks(false);
    browser->setOpenExternalLinks(false);
    browser->setTextInteractionFlags(Qt::NoTextInteraction);
    browser->setUndoRedoEnabled(false);
    browser->viewport()->setCursor(Qt::ArrowCursor);
    QPalette palette = browser->palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Link, QColor(0, 0, 255));
    palette.setColor(QPalette::LinkVisited, QColor(128, 0, 128));
    browser->setPalette(palette);
    return browser;
}

// ---- the page ----------------------------------------------------------------------------

void ShowFocusMark(ViewState* s)
{
    QList<QTextEdit::ExtraSelection> marks;
    if (s->page && s->focused >= 0 && s->focused < static_cast<int>(s->page->links.size())) {
        const Link& link = s->page->links[static_cast<size_t>(s->focused)];
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(s->page);
        mark.cursor.setPosition(link.start);
        mark.cursor.setPosition(link.end, QTextCursor::KeepAnchor);
        mark.format.setBackground(QColor(0, 0, 128));
        mark.format.setForeground(Qt::white);
        marks.append(mark);
    }
    s->browser->setExtraSelections(marks);
}

// A new document for the browser, with the pictures handled by the control
// before anything lays it out (Qt's own handler would read image files).
PageDocument* NewPage(HWND window, ViewState* s)
{
    auto* page = new PageDocument(s->browser, window, s->generation);
    page->documentLayout()->registerHandler(QTextFormat::ImageObject, s->pictures);
    // No page size: nothing is laid out while the page is built, only once the
    // browser shows it at its width.
    page->setPageSize(QSizeF(0, 0));
    page->setDefaultFont(PageFont());
    page->setUndoRedoEnabled(false);
    return page;
}

// Shows a document in place of the browser's, which is deleted (the browser
// deletes only a document it made itself).
void Show(ViewState* s, PageDocument* page)
{
    QTextDocument* old = s->browser->document();
    bool ours = old != page && old->parent() == s->browser; // read now: the browser may delete its own
    s->browser->setExtraSelections({});
    s->browser->setDocument(page);
    s->browser->verticalScrollBar()->setValue(0);
    s->browser->horizontalScrollBar()->setValue(0);
    if (ours)
        delete old;
}

void Forget(ViewState* s)
{
    ++s->generation;
    s->focused = -1;
    s->pressedHref.clear();
    s->batching = false;
    s->changedFirst = s->changedLast = -1;
}

// Empties the view: an empty document, nothing to ask for.
void Clear(HWND window, ViewState* s)
{
    Forget(s);
    s->source.clear();
    s->page = nullptr;
    Show(s, NewPage(window, s));
}

LRESULT AddText(ViewState* s, bool plain, LPCWSTR text)
{
    if (!text)
        return FALSE;
    if (text[0] == 0xFEFF)
        ++text;
    size_t room = kMaxSourceUnits - std::min(kMaxSourceUnits, s->source.size());
    size_t length = 0;
    while (length < room && text[length])
        ++length;
    if (!plain) {
        s->source.append(text, length);
        return TRUE;
    }
    QString escaped = QString::fromUtf16(text, static_cast<qsizetype>(length)).toHtmlEscaped();
    s->source += u"<pre>";
    s->source.append(reinterpret_cast<const char16_t*>(escaped.utf16()), static_cast<size_t>(escaped.size()));
    s->source += u"</pre>";
    return TRUE;
}

LRESULT EndOfSource(HWND window, ViewState* s)
{
    Forget(s);
    BuiltPage built = BuildPage(s->source.data(), s->source.size());
    PageDocument* page = NewPage(window, s);
    page->setHtml(QString::fromUtf16(built.html.data(), static_cast<qsizetype>(built.html.size())));
    built = BuiltPage();
    page->Index(s->nextCookie);
    page->shrink = s->shrink;
    page->FitToWidth(s->browser->viewport()->width());
    s->nextCookie += static_cast<DWORD>(page->sources.size());
    s->page = page;
    // The layout starts here and goes on in the background; the pictures it
    // reaches are asked for from the message loop (kMsgAskPictures).
    Show(s, page);
    std::u16string title = page->metaInformation(QTextDocument::DocumentTitle).simplified().toStdU16String();
    if (!title.empty()) {
        NM_HTMLVIEW notification{};
        notification.szTarget = title.c_str();
        NotifyParent(window, NM_TITLE, &notification.hdr);
    }
    return TRUE;
}

// ---- pictures ----------------------------------------------------------------------------

// Marks part of the page for layout again. Qt takes such a change in the
// middle of its background layout for that layout's end: what it had not
// reached would stay blank, its pictures never asked for. While that layout
// runs, the page is laid out anew instead: from the top, in the background
// again, while the view is at the top (as it is while a page comes in); at
// once when the reader has scrolled, so that the view stays where it is.
void Relayout(ViewState* s, int from, int length)
{
    QTextLayout* last = s->page->lastBlock().layout();
    if (last && last->lineCount() == 0 && s->browser->verticalScrollBar()->value() == 0) {
        s->page->setPageSize(s->page->pageSize());
        return;
    }
    s->page->documentLayout()->documentSize(); // finishes the layout
    s->page->markContentsDirty(from, length);
}

// Lays a picture out again when its size changed and the layout has placed it
// already (the layout sizes the others when it reaches them); answers in a
// row are laid out together.
void PictureChanged(ViewState* s, const Picture& picture, QSizeF before)
{
    if (s->browser->document() != s->page)
        return;
    QTextLayout* layout = s->page->findBlock(picture.position).layout();
    if (!layout || layout->lineCount() == 0)
        return;
    if (PictureSize(*s->page, picture) == before) {
        s->browser->viewport()->update();
        return;
    }
    if (!s->batching) {
        Relayout(s, picture.position, 1);
        return;
    }
    s->changedFirst = s->changedFirst < 0 ? picture.position : std::min(s->changedFirst, picture.position);
    s->changedLast = std::max(s->changedLast, picture.position);
}

void EndBatch(ViewState* s)
{
    s->batching = false;
    if (s->changedFirst >= 0 && s->browser->document() == s->page)
        Relayout(s, s->changedFirst, s->changedLast - s->changedFirst + 1);
    s->changedFirst = s->changedLast = -1;
}

// A source's state changes: every img tag that names it is laid out anew
// where its size changed.
template <typename Change> void ChangeSource(ViewState* s, Source& source, Change change)
{
    std::vector<QSizeF> before;
    for (size_t k : source.pictures)
        before.push_back(PictureSize(*s->page, s->page->pictures[k]));
    if (source.state == Source::State::Shown)
        s->page->pictureBytes -= static_cast<size_t>(source.image.sizeInBytes());
    change();
    bool batching = s->batching;
    s->batching = true;
    for (size_t k = 0; k < source.pictures.size(); ++k)
        PictureChanged(s, s->page->pictures[source.pictures[k]], before[k]);
    if (!batching)
        EndBatch(s);
}

void Fail(Source* source)
{
    source->state = Source::State::Failed;
    source->image = QImage();
}

LRESULT SetImage(ViewState* s, const INLINEIMAGEINFO* info)
{
    if (!info)
        return FALSE;
    const QImage* bitmap = LwBitmapImage(info->hbm);
    QImage image = bitmap ? *bitmap : QImage(); // shares the pixels until either side changes them
    if (info->bOwnBitmap)
        DeleteObject(info->hbm);
    Source* source = s->page ? s->page->SourceOf(info->dwCookie) : nullptr;
    if (!source || image.isNull())
        return FALSE;
    size_t bytes = static_cast<size_t>(image.sizeInBytes());
    size_t kept = s->page->pictureBytes - (source->state == Source::State::Shown ? source->image.sizeInBytes() : 0);
    bool fits = kept + bytes <= kMaxPictureBytes;
    ChangeSource(s, *source, [&] {
        if (!fits) {
            Fail(source);
            return;
        }
        s->page->pictureBytes += bytes;
        source->state = Source::State::Shown;
        source->image = image;
        source->natural = info->iOrigWidth > 0 && info->iOrigHeight > 0 ? QSize(info->iOrigWidth, info->iOrigHeight)
                                                                         : image.size();
    });
    return fits;
}

LRESULT ImageFail(ViewState* s, DWORD cookie)
{
    Source* source = s->page ? s->page->SourceOf(cookie) : nullptr;
    if (!source)
        return FALSE;
    ChangeSource(s, *source, [&] { Fail(source); });
    return TRUE;
}

// Asks the parent for one source; false when the answer replaced the page or
// destroyed the window.
bool AskForSource(HWND window, ViewState* s, unsigned generation, size_t index)
{
    PageDocument* page = s->page;
    std::u16string source = page->sources[index].source.toStdU16String();
    NM_HTMLVIEW notification{};
    notification.szTarget = source.c_str();
    notification.dwCookie = page->firstCookie + static_cast<DWORD>(index);
    LRESULT handled = NotifyParent(window, NM_INLINE_IMAGE, &notification.hdr);
    if (!StillOn(window, s, generation))
        return false;
    // Nobody will answer a request the parent did not take.
    if (!handled && page->sources[index].state == Source::State::Pending)
        ImageFail(s, notification.dwCookie);
    return true;
}

// Asks for the sources of the pictures the layout reached since the last
// time, each once, in the page's order.
void AskForPictures(HWND window, ViewState* s, unsigned generation)
{
    if (!s->page || s->generation != generation)
        return;
    PageDocument* page = s->page;
    page->askPosted = false;
    s->batching = true;
    for (size_t k = 0; k < page->pictures.size(); ++k) {
        Source& source = page->sources[page->pictures[k].source];
        if (!page->pictures[k].reached || source.asked)
            continue;
        source.asked = true;
        if (!AskForSource(window, s, generation, page->pictures[k].source))
            return;
    }
    EndBatch(s);
}

// Pictures not laid out yet take the new mode when the layout reaches them.
LRESULT EnableShrink(ViewState* s, bool on)
{
    s->shrink = on;
    if (!s->page || s->page->shrink == on)
        return TRUE;
    std::vector<QSizeF> before;
    for (const Picture& picture : s->page->pictures)
        before.push_back(PictureSize(*s->page, picture));
    s->page->shrink = on;
    s->batching = true;
    for (size_t k = 0; k < before.size(); ++k)
        PictureChanged(s, s->page->pictures[k], before[k]);
    EndBatch(s);
    return TRUE;
}

// ---- scrolling and links -----------------------------------------------------------------

QScrollBar* Vertical(ViewState* s)
{
    return s->browser->verticalScrollBar();
}

// Where a link's first line is, in viewport coordinates.
QRect LinkRect(ViewState* s, int index)
{
    QTextCursor cursor(s->page);
    cursor.setPosition(s->page->links[static_cast<size_t>(index)].start);
    return s->browser->cursorRect(cursor);
}

bool InView(ViewState* s, int index)
{
    QRect rect = LinkRect(s, index);
    return rect.bottom() > 0 && rect.top() < s->browser->viewport()->height();
}

int LinkCount(ViewState* s)
{
    return s->page && s->browser->document() == s->page ? static_cast<int>(s->page->links.size()) : 0;
}

void Focus(ViewState* s, int index)
{
    s->focused = index;
    ShowFocusMark(s);
}

void ScrollIntoView(ViewState* s, int index)
{
    QRect rect = LinkRect(s, index);
    int height = s->browser->viewport()->height();
    if (rect.top() < 0)
        Vertical(s)->setValue(Vertical(s)->value() + rect.top());
    else if (rect.bottom() >= height)
        Vertical(s)->setValue(Vertical(s)->value() + std::min(rect.top(), rect.bottom() - height + 1));
}

// The link the focus moves to in a direction: the next after the focused one,
// or without one in view, the first in view from that side; -1 for none.
int NextLink(ViewState* s, int direction, bool mustBeInView)
{
    int count = LinkCount(s);
    if (s->focused >= 0 && s->focused < count && InView(s, s->focused)) {
        int next = s->focused + direction;
        return next >= 0 && next < count && (!mustBeInView || InView(s, next)) ? next : -1;
    }
    for (int k = direction > 0 ? 0 : count - 1; k >= 0 && k < count; k += direction)
        if (InView(s, k))
            return k;
    if (mustBeInView)
        return -1;
    // Nothing in view: the first link past the view in that direction.
    int height = s->browser->viewport()->height();
    for (int k = direction > 0 ? 0 : count - 1; k >= 0 && k < count; k += direction) {
        QRect rect = LinkRect(s, k);
        if (direction > 0 ? rect.top() >= height : rect.bottom() <= 0)
            return k;
    }
    return -1;
}

// Up and Down: to the next link in view, else a line's scroll; a focused link
// that leaves the view loses its mark.
void MoveOrScroll(ViewState* s, int direction)
{
    int next = NextLink(s, direction, true);
    if (next >= 0) {
        Focus(s, next);
        ScrollIntoView(s, next);
        return;
    }
    Vertical(s)->setValue(Vertical(s)->value() + direction * Vertical(s)->singleStep());
    if (s->focused >= 0 && s->focused < LinkCount(s) && !InView(s, s->focused))
        Focus(s, -1);
}

void Tab(ViewState* s, int direction)
{
    int next = NextLink(s, direction, false);
    if (next < 0)
        return;
    Focus(s, next);
    ScrollIntoView(s, next);
}

void FollowLink(HWND window, const QString& href)
{
    std::u16string target = href.toStdU16String();
    NM_HTMLVIEW notification{};
    notification.szTarget = target.c_str();
    NotifyParent(window, NM_HOTSPOT, &notification.hdr); // the page may be replaced from here
}

LRESULT AnchorTo(ViewState* s, LPCWSTR name)
{
    if (!name || !s->page || s->browser->document() != s->page)
        return FALSE;
    int position = s->page->AnchorPosition(QString::fromUtf16(name));
    if (position < 0)
        return FALSE;
    QTextCursor cursor(s->page);
    cursor.setPosition(position);
    // The whole page must be laid out for the scroll bar to reach the anchor.
    s->page->documentLayout()->documentSize();
    // The browser's cursor goes to the anchor too: on its first show the
    // browser scrolls its cursor into view, which would undo the scroll of a
    // control whose window is not shown yet.
    s->browser->setTextCursor(cursor);
    QRect rect = s->browser->cursorRect(cursor);
    Vertical(s)->setValue(Vertical(s)->value() + rect.top());
    return TRUE;
}

// ---- input -------------------------------------------------------------------------------

void OnKeyDown(HWND window, ViewState* s, UINT key)
{
    QScrollBar* vertical = Vertical(s);
    QScrollBar* horizontal = s->browser->horizontalScrollBar();
    switch (key) {
    case VK_SHIFT: s->shift = true; break;
    case VK_DOWN: MoveOrScroll(s, 1); break;
    case VK_UP: MoveOrScroll(s, -1); break;
    case VK_TAB: Tab(s, s->shift ? -1 : 1); break;
    case VK_NEXT: vertical->setValue(vertical->value() + vertical->pageStep()); break;
    case VK_PRIOR: vertical->setValue(vertical->value() - vertical->pageStep()); break;
    case VK_HOME: vertical->setValue(vertical->minimum()); break;
    case VK_END: vertical->setValue(vertical->maximum()); break;
    case VK_RIGHT: horizontal->setValue(horizontal->value() + horizontal->singleStep()); break;
    case VK_LEFT: horizontal->setValue(horizontal->value() - horizontal->singleStep()); break;
    case VK_RETURN:
        if (s->focused >= 0 && s->focused < LinkCount(s))
            FollowLink(window, s->page->links[static_cast<size_t>(s->focused)].href);
        break;
    default: break;
    }
}

// The link under a point of the client area, with its index when it is one
// of the page's links (-1 otherwise); an empty href off the links.
QString LinkAt(ViewState* s, QPoint at, int* index)
{
    *index = -1;
    QWidget* viewport = s->browser->viewport();
    QPoint inViewport = viewport->mapFrom(s->browser, at);
    if (!s->page || s->browser->document() != s->page || !viewport->rect().contains(inViewport))
        return QString();
    QPointF inDocument = inViewport + QPointF(s->browser->horizontalScrollBar()->value(), Vertical(s)->value());
    QAbstractTextDocumentLayout* layout = s->page->documentLayout();
    QString href = layout->anchorAt(inDocument);
    if (href.isEmpty())
        return href;
    int position = layout->hitTest(inDocument, Qt::FuzzyHit);
    const std::vector<Link>& links = s->page->links;
    for (size_t k = 0; k < links.size(); ++k)
        if (links[k].href == href && position >= links[k].start && position <= links[k].end)
            *index = static_cast<int>(k);
    return href;
}

bool OnScrollBar(ViewState* s, QPoint at)
{
    return !s->browser->viewport()->geometry().contains(at);
}

void OnMouse(HWND window, ViewState* s, UINT message, WPARAM wParam, LPARAM lParam)
{
    QPoint at(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
        SetFocus(window);
        s->scrollBarPressed = OnScrollBar(s, at);
        s->pressedHref.clear();
        if (s->scrollBarPressed) {
            lwuser::ReplayInput(window, message, wParam, lParam);
            return;
        }
        int index = -1;
        s->pressedHref = LinkAt(s, at, &index);
        if (index >= 0)
            Focus(s, index);
        return;
    }
    if (s->scrollBarPressed) {
        lwuser::ReplayInput(window, message, wParam, lParam);
        s->scrollBarPressed = message != WM_LBUTTONUP;
        return;
    }
    if (message != WM_LBUTTONUP || s->pressedHref.isEmpty())
        return;
    int index = -1;
    QString href = LinkAt(s, at, &index);
    QString pressed = s->pressedHref;
    s->pressedHref.clear();
    if (href == pressed)
        FollowLink(window, href);
}

LRESULT GetText(ViewState* s, bool lengthOnly, WPARAM size, LPWSTR buffer)
{
    QString text = s->page && s->browser->document() == s->page ? s->page->toPlainText() : QString();
    text.remove(QChar::ObjectReplacementCharacter);
    if (lengthOnly)
        return text.size();
    if (!buffer || size == 0)
        return 0;
    size_t count = std::min(static_cast<size_t>(text.size()), static_cast<size_t>(size) - 1);
    std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), count, buffer);
    buffer[count] = 0;
    return static_cast<LRESULT>(count);
}

LRESULT SetText(HWND window, ViewState* s, LPCWSTR text)
{
    Clear(window, s);
    if (text && !IS_INTRESOURCE(text) && text[0]) {
        AddText(s, false, text);
        EndOfSource(window, s);
    }
    return TRUE;
}

// ---- the procedure -----------------------------------------------------------------------

LRESULT OnNcCreate(HWND window, WPARAM wParam, LPARAM lParam)
{
    auto* s = new ViewState;
    lwuser::Window* record = lwuser::PeekWindowRecord(window);
    s->browser = record ? qobject_cast<QTextBrowser*>(record->widget.data()) : nullptr;
    if (!s->browser) {
        delete s;
        return FALSE;
    }
    s->pictures = new PictureHandler(s->browser);
    Show(s, NewPage(window, s));
    SetWindowLongW(window, 0, reinterpret_cast<LONG_PTR>(s));
    return DefWindowProcW(window, WM_NCCREATE, wParam, lParam);
}

void OnNcDestroy(HWND window)
{
    ViewState* s = StateOf(window);
    SetWindowLongW(window, 0, 0);
    delete s; // the documents and the handler go with the browser
}

LRESULT CALLBACK HtmlViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        return OnNcCreate(window, wParam, lParam);
    ViewState* s = StateOf(window);
    if (!s || !s->browser)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_NCDESTROY:
        OnNcDestroy(window);
        return 0;
    case DTM_ADDTEXTW:
        return AddText(s, wParam != FALSE, reinterpret_cast<LPCWSTR>(lParam));
    case DTM_ENDOFSOURCE:
        return EndOfSource(window, s);
    case DTM_SETIMAGE:
        return SetImage(s, reinterpret_cast<const INLINEIMAGEINFO*>(lParam));
    case DTM_IMAGEFAIL:
        return ImageFail(s, static_cast<DWORD>(lParam));
    case DTM_ANCHORW:
        return AnchorTo(s, reinterpret_cast<LPCWSTR>(lParam));
    case DTM_ENABLESHRINK:
        return EnableShrink(s, lParam != FALSE);
    case DTM_CLEAR:
        Clear(window, s);
        return TRUE;
    case kMsgAskPictures:
        AskForPictures(window, s, static_cast<unsigned>(wParam));
        return 0;
    case WM_SETTEXT:
        return SetText(window, s, reinterpret_cast<LPCWSTR>(lParam));
    case WM_GETTEXT:
        return GetText(s, false, wParam, reinterpret_cast<LPWSTR>(lParam));
    case WM_GETTEXTLENGTH:
        return GetText(s, true, 0, nullptr);
    case WM_KEYDOWN:
        OnKeyDown(window, s, static_cast<UINT>(wParam));
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SHIFT)
            s->shift = false;
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
        OnMouse(window, s, message, wParam, lParam);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTTAB | DLGC_WANTALLKEYS;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// ---- the trace ---------------------------------------------------------------------------

std::u16string Bounded(LPCWSTR text)
{
    if (!text || IS_INTRESOURCE(text))
        return u"";
    size_t length = 0;
    while (length < kMaxTraceUnits && text[length])
        ++length;
    return std::u16string(text, length);
}

bool LParamText(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text)
{
    *text = Bounded(reinterpret_cast<LPCWSTR>(lParam));
    return true;
}

// Other controls may use the same codes with records of their own.
bool NotificationTarget(HWND, UINT, WPARAM, LPARAM lParam, std::u16string* text)
{
    auto* header = reinterpret_cast<const NMHDR*>(lParam);
    lwuser::Window* from = lwuser::PeekWindowRecord(header->hwndFrom);
    if (!from || from->windowClass->proc != HtmlViewProc)
        return false;
    *text = Bounded(reinterpret_cast<const NM_HTMLVIEW*>(header)->szTarget);
    return true;
}

void RegisterTraceNames()
{
    struct Name {
        UINT message;
        const char* name;
        lwuser::TraceTextFn text;
    };
    static const Name kMessages[] = {
        {DTM_ADDTEXTW, "DTM_ADDTEXTW", LParamText}, {DTM_SETIMAGE, "DTM_SETIMAGE", nullptr},
        {DTM_ENDOFSOURCE, "DTM_ENDOFSOURCE", nullptr}, {DTM_ANCHORW, "DTM_ANCHORW", LParamText},
        {DTM_ENABLESHRINK, "DTM_ENABLESHRINK", nullptr}, {DTM_IMAGEFAIL, "DTM_IMAGEFAIL", nullptr},
        {DTM_CLEAR, "DTM_CLEAR", nullptr},
    };
    for (const Name& m : kMessages)
        lwuser::RegisterMessageName(DISPLAYCLASS, m.message, m.name, m.text);
    lwuser::RegisterNotifyName(NM_HOTSPOT, "NM_HOTSPOT", NotificationTarget);
    lwuser::RegisterNotifyName(NM_INLINE_IMAGE, "NM_INLINE_IMAGE", NotificationTarget);
    lwuser::RegisterNotifyName(NM_TITLE, "NM_TITLE", NotificationTarget);
}

} // namespace
} // namespace lwhtml

BOOL LwHtmlViewSettled(HWND viewer)
{
    WCHAR name[16] = {};
    if (!IsWindow(viewer) || !GetClassNameW(viewer, name, 16) || std::u16string_view(name) != DISPLAYCLASS)
        return FALSE;
    lwhtml::ViewState* s = lwhtml::StateOf(viewer);
    if (!s || !s->page)
        return s != nullptr;
    QTextLayout* last = s->page->lastBlock().layout();
    if (!last || last->lineCount() == 0 || s->page->askPosted)
        return FALSE;
    for (const lwhtml::Picture& picture : s->page->pictures)
        if (picture.reached && !s->page->sources[picture.source].asked)
            return FALSE;
    return TRUE;
}

BOOL InitHTMLControl(HINSTANCE)
{
    lwuser::EnsureApplication();
    if (lwuser::FindClass(DISPLAYCLASS))
        return TRUE;
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = lwhtml::HtmlViewProc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.lpszClassName = DISPLAYCLASS;
    lwuser::RegisterSystemClass(wc, lwuser::Placement::Normal, lwhtml::MakeBrowser);
    lwhtml::RegisterTraceNames();
    return TRUE;
}
