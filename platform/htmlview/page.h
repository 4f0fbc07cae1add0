// One page of the HTML viewer as Qt holds it: a document that loads nothing,
// its pictures (each answered by the control's parent) and its links, and the
// handler that lays out and draws the pictures from what the parent gave.
#pragma once

#include <windef.h>
#include <winuser.h>

#include <QImage>
#include <QObject>
#include <QTextDocument>
#include <QTextObjectInterface>

#include <vector>

namespace lwhtml {

// Posted to the control (wParam: the page's generation) when the layout
// reached pictures that were not asked for yet.
constexpr UINT kMsgAskPictures = WM_USER + 0x710;

// One distinct src of a page: asked for once, its answer kept once and drawn
// by every img tag that names it.
struct Source {
    enum class State { Pending, Shown, Failed };
    QString source;     // the src as written
    State state = State::Pending;
    QImage image;       // Shown: the pixels
    QSize natural;      // Shown: the size the parent gave
    bool asked = false; // NM_INLINE_IMAGE went out for it
    std::vector<size_t> pictures; // the img tags that name it
};

struct Picture {
    int position = 0;   // of its object character in the document
    size_t source = 0;  // in PageDocument::sources
    QSizeF declared;    // the tag's width and height; 0 where it gives none
    bool reached = false; // the layout needed its size
};

struct Link {
    int start = 0; // [start, end) of the document
    int end = 0;
    QString href;
};

// A document that never loads a resource: Qt's own loader reads local files
// and data URLs, which the control must not. Images come from `pictures`.
class PageDocument : public QTextDocument {
public:
    // `control` is the window that asks for the pictures the layout reaches.
    PageDocument(QObject* parent, HWND control, unsigned generation);

    // Reads the pictures and links of the document as built by setHtml, and
    // numbers the distinct sources from `firstCookie`.
    void Index(DWORD firstCookie);
    // The source a cookie of this page names, or null.
    Source* SourceOf(DWORD cookie);
    // The picture at a position of the document, or null.
    Picture* PictureAt(int position);
    // The layout needs the picture at a position: the control is told, by a
    // posted message, never from inside the layout.
    void Reached(int position);
    // The first position carrying the anchor name, or -1.
    int AnchorPosition(const QString& name) const;
    // Tables wider than `width` are made to fit it, and preformatted lines to wrap.
    void FitToWidth(int width);

    std::vector<Source> sources;   // in the order of their first img tag
    std::vector<Picture> pictures; // in document order
    std::vector<Link> links;       // in document order
    DWORD firstCookie = 0;
    size_t pictureBytes = 0;       // pixels kept for this page
    bool shrink = false;           // pictures wider than the text are scaled down
    bool askPosted = false;        // a kMsgAskPictures is on its way
    HWND control;
    unsigned generation;

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

// Sizes and draws the pictures of every PageDocument whose layout it is
// registered with, from the document's `pictures`.
class PictureHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    using QObject::QObject;
    QSizeF intrinsicSize(QTextDocument* document, int position, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                    const QTextFormat& format) override;
};

// The size a picture takes in the layout of its page.
QSizeF PictureSize(const PageDocument& page, const Picture& picture);

// The side of the broken-picture mark when the tag gives no size.
constexpr int kBrokenSide = 20;

} // namespace lwhtml
