#include "page.h"

#include <QAbstractTextDocumentLayout>
#include <QHash>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>

namespace lwhtml {

PageDocument::PageDocument(QObject* parent, HWND control, unsigned generation)
    : QTextDocument(parent), control(control), generation(generation)
{
    // Qt falls back to a process-wide provider when loadResource finds nothing;
    // a provider of our own that finds nothing closes that door too.
    setResourceProvider([](const QUrl&) { return QVariant(); });
}

QVariant PageDocument::loadResource(int, const QUrl&)
{
    return QVariant();
}

void PageDocument::Index(DWORD cookie)
{
    firstCookie = cookie;
    sources.clear();
    pictures.clear();
    links.clear();
    QHash<QString, size_t> known;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat()) {
                // Neighbouring pictures of the same format share one fragment.
                QTextImageFormat image = format.toImageFormat();
                auto it = known.constFind(image.name());
                if (it == known.constEnd()) {
                    it = known.insert(image.name(), sources.size());
                    Source source;
                    source.source = image.name();
                    sources.push_back(std::move(source));
                }
                for (int k = 0; k < fragment.length(); ++k) {
                    Picture picture;
                    picture.position = fragment.position() + k;
                    picture.source = it.value();
                    picture.declared = QSizeF(std::max(0.0, image.width()), std::max(0.0, image.height()));
                    sources[picture.source].pictures.push_back(pictures.size());
                    pictures.push_back(picture);
                }
            }
            QString href = format.isAnchor() ? format.anchorHref() : QString();
            if (href.isEmpty())
                continue;
            int start = fragment.position();
            if (!links.empty() && links.back().end == start && links.back().href == href)
                links.back().end = start + fragment.length();
            else
                links.push_back(Link{start, start + fragment.length(), href});
        }
    }
}

Source* PageDocument::SourceOf(DWORD cookie)
{
    DWORD index = cookie - firstCookie;
    return cookie >= firstCookie && index < sources.size() ? &sources[index] : nullptr;
}

Picture* PageDocument::PictureAt(int position)
{
    auto it = std::lower_bound(pictures.begin(), pictures.end(), position,
                               [](const Picture& p, int at) { return p.position < at; });
    return it != pictures.end() && it->position == position ? &*it : nullptr;
}

void PageDocument::Reached(int position)
{
    Picture* picture = PictureAt(position);
    if (!picture || picture->reached)
        return;
    picture->reached = true;
    if (!askPosted)
        askPosted = PostMessageW(control, kMsgAskPictures, generation, 0) != FALSE;
}

int PageDocument::AnchorPosition(const QString& name) const
{
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextCharFormat format = it.fragment().charFormat();
            if (format.isAnchor() && format.anchorNames().contains(name))
                return it.fragment().position();
        }
    }
    return -1;
}

void PageDocument::FitToWidth(int width)
{
    std::vector<QTextFrame*> frames{rootFrame()};
    while (!frames.empty()) {
        QTextFrame* frame = frames.back();
        frames.pop_back();
        for (QTextFrame* child : frame->childFrames())
            frames.push_back(child);
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        QTextTableFormat format = table->format();
        bool changed = false;
        if (format.width().type() == QTextLength::FixedLength && format.width().rawValue() > width) {
            format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
            changed = true;
        }
        QList<QTextLength> columns = format.columnWidthConstraints();
        for (QTextLength& column : columns) {
            if (column.type() == QTextLength::FixedLength && column.rawValue() > width) {
                column = QTextLength();
                changed = true;
            }
        }
        if (changed) {
            format.setColumnWidthConstraints(columns);
            table->setFormat(format);
        }
    }
    // Preformatted lines wrap as the rest of the text does. (A default style
    // sheet saying so would double the time Qt takes to import a page.)
    QTextCursor cursor(this);
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        if (!format.nonBreakableLines())
            continue;
        format.setNonBreakableLines(false);
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
}

namespace {

QSizeF ShownSize(const Source& source, const Picture& picture)
{
    QSizeF natural = source.natural;
    QSizeF declared = picture.declared;
    if (declared.width() > 0 && declared.height() > 0)
        return declared;
    if (declared.width() > 0)
        return {declared.width(), natural.width() > 0 ? natural.height() * declared.width() / natural.width() : 0};
    if (declared.height() > 0)
        return {natural.height() > 0 ? natural.width() * declared.height() / natural.height() : 0, declared.height()};
    return natural;
}

// A missing side of the tag takes the other's value; no size at all gives
// the mark's own square.
QSizeF MarkSize(const Picture& picture)
{
    qreal w = picture.declared.width(), h = picture.declared.height();
    if (w <= 0 && h <= 0)
        return {kBrokenSide, kBrokenSide};
    return {w > 0 ? w : h, h > 0 ? h : w};
}

} // namespace

QSizeF PictureSize(const PageDocument& page, const Picture& picture)
{
    const Source& source = page.sources[picture.source];
    QSizeF size = source.state == Source::State::Shown    ? ShownSize(source, picture)
                  : source.state == Source::State::Failed ? MarkSize(picture)
                                                          : picture.declared;
    qreal room = page.textWidth() - 2 * page.documentMargin();
    if (page.shrink && room > 0 && size.width() > room)
        size = QSizeF(room, size.height() * room / size.width());
    return size;
}

QSizeF PictureHandler::intrinsicSize(QTextDocument* document, int position, const QTextFormat&)
{
    auto* page = dynamic_cast<PageDocument*>(document);
    Picture* picture = page ? page->PictureAt(position) : nullptr;
    if (!picture)
        return {};
    page->Reached(position);
    return PictureSize(*page, *picture);
}

void PictureHandler::drawObject(QPainter* painter, const QRectF& rect, QTextDocument* document, int position,
                                const QTextFormat&)
{
    auto* page = dynamic_cast<PageDocument*>(document);
    const Picture* picture = page ? page->PictureAt(position) : nullptr;
    if (!picture || rect.isEmpty())
        return;
    const Source& source = page->sources[picture->source];
    if (source.state == Source::State::Shown) {
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform, rect.size() != QSizeF(source.image.size()));
        painter->drawImage(rect, source.image);
        painter->restore();
    } else if (source.state == Source::State::Failed) {
        painter->save();
        QRectF box = rect.adjusted(0.5, 0.5, -0.5, -0.5);
        painter->fillRect(rect, QColor(224, 224, 224));
        painter->setPen(QPen(QColor(128, 128, 128), 1));
        painter->drawRect(box);
        painter->setPen(QPen(QColor(192, 0, 0), 1));
        QRectF cross = box.adjusted(3, 3, -3, -3);
        if (cross.width() > 0 && cross.height() > 0) {
            painter->drawLine(cross.topLeft(), cross.bottomRight());
            painter->drawLine(cross.topRight(), cross.bottomLeft());
        }
        painter->restore();
    }
}

} // namespace lwhtml
