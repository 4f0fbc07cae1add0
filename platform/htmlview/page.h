// One page of the HTML viewer as Qt holds it: a document that loads nothing,
// its pictures (each answered by the control's parent) and its links, and the
// handler that lays out and draws the pictures from what the parent gave.
#pragma once

#include <windef.h>

#include <QImage>
#include <QObject>
#include <QTextDocument>
#include <QTextObjectInterface>

#include <vector>

namespace lwhtml {

struct Picture {
    enum class State { Pending, Shown, Failed };
    int position = 0;   // of its object character in the document
    QString source;     // the src as written
    QSizeF declared;    // the tag's width and height; 0 where it gives none
    State state = State::Pending;
    QImage image;       // Shown: the pixels
    QSize natural;      // Shown: the size the parent gave
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
    explicit PageDocument(QObject* parent);

    // Reads the pictures and links of the document as built by setHtml, and
    // numbers the pictures from `firstCookie`.
    void Index(DWORD firstCookie);
    // The picture a cookie of this page names, or null.
    Picture* PictureOf(DWORD cookie);
    // The picture at a position of the document, or null.
    const Picture* PictureAt(int position) const;
    // The first position carrying the anchor name, or -1.
    int AnchorPosition(const QString& name) const;
    // Wide tables and preformatted lines are made to wrap within `width`.
    void FitTables(int width);

    std::vector<Picture> pictures; // in document order
    std::vector<Link> links;       // in document order
    DWORD firstCookie = 0;
    size_t pictureBytes = 0;       // pixels kept for this page
    bool shrink = false;           // pictures wider than the text are scaled down

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

// The side of the broken-picture mark when the tag gives no size.
constexpr int kBrokenSide = 20;

} // namespace lwhtml
