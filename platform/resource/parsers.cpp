// Pure parsers of resource data into the plain structs of winresource.h. Every
// read goes through Reader, which refuses to step past the data it was given.
#include <winresource.h>

#include <algorithm>
#include <cstring>

namespace {

class Reader {
public:
    Reader(const void* data, size_t size) : data_(static_cast<const BYTE*>(data)), size_(data ? size : 0) {}

    bool Ok() const { return ok_; }
    size_t Pos() const { return pos_; }
    size_t Left() const { return ok_ ? size_ - pos_ : 0; }
    const BYTE* Here() const { return data_ + pos_; }

    bool Skip(size_t n)
    {
        if (!ok_ || n > size_ - pos_)
            return ok_ = false;
        pos_ += n;
        return true;
    }
    // Alignment is counted from the start of the data, which resources keep
    // DWORD-aligned.
    bool AlignTo(size_t n) { return Skip((n - pos_ % n) % n); }

    WORD Word()
    {
        WORD v = 0;
        Copy(&v, 2);
        return v;
    }
    DWORD Dword()
    {
        DWORD v = 0;
        Copy(&v, 4);
        return v;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte()
    {
        BYTE v = 0;
        Copy(&v, 1);
        return v;
    }

    // A zero-terminated UTF-16 string.
    std::u16string String()
    {
        std::u16string s;
        for (;;) {
            WORD c = Word();
            if (!ok_ || c == 0)
                return s;
            s.push_back(static_cast<char16_t>(c));
        }
    }

    // The sz_Or_Ord field of templates: 0 (none), 0xFFFF and an id, or a string.
    void StringOrId(WORD* id, std::u16string* text)
    {
        *id = 0;
        text->clear();
        if (Left() >= 2 && Peek16() == 0xFFFF) {
            Word();
            *id = Word();
            return;
        }
        *text = String();
    }

private:
    WORD Peek16() const
    {
        WORD v;
        std::memcpy(&v, data_ + pos_, 2);
        return v;
    }
    void Copy(void* out, size_t n)
    {
        if (!ok_ || n > size_ - pos_) {
            ok_ = false;
            return;
        }
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
    }

    const BYTE* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

constexpr DWORD kDsSetFont = 0x40;

// ---- dialogs -------------------------------------------------------------------

// Windows treats the predefined class names like their atoms; callers then look
// at the atom alone.
void NormaliseClassName(DialogItemTemplate* item)
{
    static const struct {
        const char16_t* name;
        WORD atom;
    } kPredefined[] = {
        {u"button", kDialogClassButton},       {u"edit", kDialogClassEdit},
        {u"static", kDialogClassStatic},       {u"listbox", kDialogClassListBox},
        {u"scrollbar", kDialogClassScrollBar}, {u"combobox", kDialogClassComboBox},
    };
    std::u16string lower = item->className;
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'Z')
            c = c - u'A' + u'a';
    for (const auto& predefined : kPredefined) {
        if (lower == predefined.name) {
            item->classAtom = predefined.atom;
            item->className.clear();
            return;
        }
    }
}

bool ParseDialogItem(Reader& in, bool extended, DialogItemTemplate* item)
{
    if (!in.AlignTo(4))
        return false;
    if (extended) {
        item->helpId = in.Dword();
        item->exStyle = in.Dword();
        item->style = in.Dword();
    } else {
        item->style = in.Dword();
        item->exStyle = in.Dword();
    }
    item->x = in.Short();
    item->y = in.Short();
    item->cx = in.Short();
    item->cy = in.Short();
    item->id = extended ? in.Dword() : in.Word();
    in.StringOrId(&item->classAtom, &item->className);
    NormaliseClassName(item);
    in.StringOrId(&item->titleId, &item->title);
    WORD extra = in.Word();
    if (!in.Ok())
        return false;
    // The creation data's size in bytes; the data follows it.
    if (extra > 0) {
        if (extra > in.Left())
            return false;
        item->creationData.assign(in.Here(), in.Here() + extra);
        in.Skip(extra);
    }
    return in.Ok();
}

}  // namespace

bool ParseDialogTemplate(const void* data, size_t size, DialogTemplate* out)
{
    *out = DialogTemplate();
    Reader in(data, size);
    if (in.Left() < 4)
        return false;
    WORD first = in.Word();
    WORD signature = in.Word();
    WORD count = 0;
    if (first == 1 && signature == 0xFFFF) {
        out->extended = true;
        out->helpId = in.Dword();
        out->exStyle = in.Dword();
        out->style = in.Dword();
    } else {
        out->style = first | (DWORD(signature) << 16);
        out->exStyle = in.Dword();
    }
    count = in.Word();
    out->x = in.Short();
    out->y = in.Short();
    out->cx = in.Short();
    out->cy = in.Short();
    in.StringOrId(&out->menuId, &out->menuName);
    in.StringOrId(&out->classAtom, &out->className);
    out->title = in.String();
    if (out->style & kDsSetFont) {
        out->hasFont = true;
        out->pointSize = in.Word();
        if (out->extended) {
            out->weight = in.Word();
            out->italic = in.Byte();
            out->charset = in.Byte();
        }
        out->faceName = in.String();
    }
    if (!in.Ok())
        return false;
    // Each item takes at least 24 bytes: a count beyond what the data can hold is
    // refused before anything is reserved for it.
    if (count > in.Left() / 24)
        return false;
    out->items.resize(count);
    for (DialogItemTemplate& item : out->items)
        if (!ParseDialogItem(in, out->extended, &item))
            return false;
    return true;
}

// ---- menus ------------------------------------------------------------------------

namespace {

constexpr WORD kMfPopup = 0x10;
constexpr WORD kMfEnd = 0x80;
constexpr int kMaxMenuDepth = 16;

bool ParseMenuItems(Reader& in, int depth, std::vector<MenuItemTemplate>* items)
{
    if (depth > kMaxMenuDepth)
        return false;
    for (;;) {
        MenuItemTemplate item;
        item.flags = in.Word();
        if (!(item.flags & kMfPopup))
            item.id = in.Word();
        item.text = in.String();
        if (!in.Ok())
            return false;
        if ((item.flags & kMfPopup) && !ParseMenuItems(in, depth + 1, &item.popup))
            return false;
        bool last = item.flags & kMfEnd;
        items->push_back(std::move(item));
        if (last)
            return true;
    }
}

}  // namespace

bool ParseMenuTemplate(const void* data, size_t size, MenuTemplate* out)
{
    *out = MenuTemplate();
    Reader in(data, size);
    WORD version = in.Word();
    WORD headerSize = in.Word();
    if (!in.Ok() || version != 0 || !in.Skip(headerSize))
        return false;
    return ParseMenuItems(in, 0, &out->items);
}

// ---- soft-key bars -------------------------------------------------------------------

bool ParseSoftKeyBar(const void* data, size_t size, SoftKeyBarTemplate* out)
{
    *out = SoftKeyBarTemplate();
    Reader in(data, size);
    out->menuId = in.Word();
    WORD count = in.Word();
    if (!in.Ok() || count > in.Left() / 14)
        return false;
    out->buttons.resize(count);
    for (SoftKeyButtonTemplate& button : out->buttons) {
        button.image = in.Short();
        button.command = in.Word();
        button.state = in.Word();
        button.style = in.Word();
        button.captionId = in.Word();
        button.reserved = in.Word();
        button.popupIndex = in.Word();
    }
    return in.Ok();
}

// ---- device-independent bitmaps -------------------------------------------------------

namespace {

constexpr int kMaxDibSide = 16384;
constexpr DWORD kBiRgb = 0;
constexpr DWORD kBiBitfields = 3;

struct DibHeader {
    int width = 0;
    int height = 0;          // as stored: negative for a top-down bitmap
    int bitCount = 0;
    DWORD compression = kBiRgb;
    DWORD colorsUsed = 0;
    DWORD masks[3] = {0, 0, 0};
    bool core = false;       // BITMAPCOREHEADER: RGBTRIPLE colour table
};

bool ReadDibHeader(Reader& in, DibHeader* h)
{
    DWORD headerSize = in.Dword();
    if (!in.Ok())
        return false;
    if (headerSize == 12) {
        h->core = true;
        h->width = in.Word();
        h->height = in.Word();
        in.Word();  // planes
        h->bitCount = in.Word();
        return in.Ok();
    }
    if (headerSize < 40 || headerSize > 1024)
        return false;
    h->width = static_cast<int32_t>(in.Dword());
    h->height = static_cast<int32_t>(in.Dword());
    in.Word();  // planes
    h->bitCount = in.Word();
    h->compression = in.Dword();
    in.Skip(12);  // image size, resolution
    h->colorsUsed = in.Dword();
    in.Dword();  // colours important
    if (headerSize >= 52) {
        // V4/V5 headers carry the masks inside the header.
        for (DWORD& mask : h->masks)
            mask = in.Dword();
        in.Skip(headerSize - 52);
    } else if (h->compression == kBiBitfields) {
        for (DWORD& mask : h->masks)
            mask = in.Dword();
    }
    return in.Ok();
}

// A mask's channel scaled to 0..255.
BYTE Channel(DWORD value, DWORD mask)
{
    if (!mask)
        return 0;
    int shift = __builtin_ctz(mask);
    uint64_t max = mask >> shift;
    uint64_t v = (value & mask) >> shift;
    return static_cast<BYTE>(v * 255 / max);
}

// Decodes `rows` rows of colour bits into top-down 0xFFRRGGBB pixels. `in` stands
// at the colour table (for the palette formats) or at the bits.
bool DecodeDibPixels(Reader& in, const DibHeader& h, int rows, std::vector<uint32_t>* pixels)
{
    const int width = h.width;
    std::vector<uint32_t> palette;
    if (h.bitCount <= 8) {
        DWORD entries = h.colorsUsed ? h.colorsUsed : (1u << h.bitCount);
        if (entries > 256)
            return false;
        size_t entrySize = h.core ? 3 : 4;
        if (entries > in.Left() / entrySize)
            return false;
        for (DWORD i = 0; i < entries; ++i) {
            BYTE b = in.Byte(), g = in.Byte(), r = in.Byte();
            if (!h.core)
                in.Byte();
            palette.push_back(0xFF000000u | (r << 16) | (g << 8) | b);
        }
    }
    DWORD masks[3] = {h.masks[0], h.masks[1], h.masks[2]};
    if (h.compression == kBiRgb && h.bitCount == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    const size_t stride = ((static_cast<size_t>(width) * h.bitCount + 31) / 32) * 4;
    if (!in.Ok() || stride * rows > in.Left())
        return false;
    const bool bottomUp = h.height > 0;
    pixels->assign(static_cast<size_t>(width) * rows, 0);
    for (int row = 0; row < rows; ++row) {
        const BYTE* src = in.Here() + stride * row;
        uint32_t* dst = pixels->data() + static_cast<size_t>(bottomUp ? rows - 1 - row : row) * width;
        for (int x = 0; x < width; ++x) {
            uint32_t colour = 0;
            switch (h.bitCount) {
            case 1:
            case 4:
            case 8: {
                size_t bit = static_cast<size_t>(x) * h.bitCount;
                unsigned index = (src[bit / 8] >> (8 - h.bitCount - bit % 8)) & ((1u << h.bitCount) - 1);
                // An index past a short palette is black, as GDI draws it.
                colour = index < palette.size() ? palette[index] : 0xFF000000u;
                break;
            }
            case 16: {
                DWORD v = src[2 * x] | (src[2 * x + 1] << 8);
                colour = 0xFF000000u | (Channel(v, masks[0]) << 16) | (Channel(v, masks[1]) << 8) | Channel(v, masks[2]);
                break;
            }
            case 24:
                colour = 0xFF000000u | (src[3 * x + 2] << 16) | (src[3 * x + 1] << 8) | src[3 * x];
                break;
            case 32: {
                DWORD v;
                std::memcpy(&v, src + 4 * x, 4);
                if (h.compression == kBiBitfields)
                    colour = 0xFF000000u | (Channel(v, masks[0]) << 16) | (Channel(v, masks[1]) << 8) |
                             Channel(v, masks[2]);
                else
                    colour = v | 0xFF000000u;
                break;
            }
            }
            dst[x] = colour;
        }
    }
    in.Skip(stride * rows);
    return true;
}

bool ValidDibFormat(const DibHeader& h)
{
    switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        if (h.compression != kBiRgb)
            return false;
        break;
    case 16:
    case 32:
        if (h.compression != kBiRgb && h.compression != kBiBitfields)
            return false;
        break;
    default:
        return false;
    }
    return h.width > 0 && h.width <= kMaxDibSide && h.height != 0 && h.height >= -kMaxDibSide &&
           h.height <= kMaxDibSide;
}

}  // namespace

bool ParseDib(const void* data, size_t size, DibImage* out)
{
    *out = DibImage();
    Reader in(data, size);
    DibHeader h;
    if (!ReadDibHeader(in, &h) || !ValidDibFormat(h))
        return false;
    int rows = h.height < 0 ? -h.height : h.height;
    if (!DecodeDibPixels(in, h, rows, &out->pixels))
        return false;
    out->width = h.width;
    out->height = rows;
    out->bitsPerPixel = h.bitCount;
    return true;
}

// ---- icons ------------------------------------------------------------------------------

bool ParseIconGroup(const void* data, size_t size, IconGroupTemplate* out)
{
    *out = IconGroupTemplate();
    Reader in(data, size);
    WORD reserved = in.Word();
    WORD type = in.Word();
    WORD count = in.Word();
    if (!in.Ok() || reserved != 0 || type != 1 || count > in.Left() / 14)
        return false;
    out->entries.resize(count);
    for (IconGroupEntry& e : out->entries) {
        BYTE width = in.Byte();
        BYTE height = in.Byte();
        e.width = width ? width : 256;
        e.height = height ? height : 256;
        e.colorCount = in.Byte();
        in.Byte();
        e.planes = in.Word();
        e.bitCount = in.Word();
        e.bytesInRes = in.Dword();
        e.id = in.Word();
    }
    return in.Ok();
}

int PickIconGroupEntry(const IconGroupTemplate& group, int cx, int cy)
{
    auto colours = [](const IconGroupEntry& e) {
        return e.bitCount ? int(e.bitCount) : e.colorCount ? 32 - __builtin_clz(e.colorCount) : 8;
    };
    int best = -1;
    auto better = [&](const IconGroupEntry& e, const IconGroupEntry& b) {
        bool eFits = e.width == cx && e.height == cy, bFits = b.width == cx && b.height == cy;
        if (eFits != bFits)
            return eFits;
        bool eLarger = e.width >= cx && e.height >= cy, bLarger = b.width >= cx && b.height >= cy;
        if (eLarger != bLarger)
            return eLarger;
        if (e.width != b.width)
            // Among larger images the nearest, among smaller ones the largest.
            return eLarger ? e.width < b.width : e.width > b.width;
        return colours(e) > colours(b);
    };
    for (size_t i = 0; i < group.entries.size(); ++i)
        if (best < 0 || better(group.entries[i], group.entries[best]))
            best = static_cast<int>(i);
    return best;
}

bool ParseIconImage(const void* data, size_t size, IconImage* out)
{
    *out = IconImage();
    static const BYTE kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data && size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) {
        out->png.assign(static_cast<const BYTE*>(data), static_cast<const BYTE*>(data) + size);
        return true;
    }
    Reader in(data, size);
    DibHeader h;
    // The stored height counts the colour bits and the mask together.
    if (!ReadDibHeader(in, &h) || h.height <= 0 || h.height % 2)
        return false;
    const int rows = h.height / 2;
    DibHeader colourPart = h;
    colourPart.height = rows;
    if (!ValidDibFormat(colourPart) || !DecodeDibPixels(in, colourPart, rows, &out->pixels))
        return false;
    out->width = h.width;
    out->height = rows;
    out->bitsPerPixel = h.bitCount;

    bool ownAlpha = false;
    if (h.bitCount == 32 && h.compression == kBiRgb) {
        // DecodeDibPixels made every pixel opaque; a 32-bit icon keeps its alpha.
        const size_t stride = static_cast<size_t>(h.width) * 4;
        const BYTE* bits = in.Here() - stride * rows;
        for (int row = 0; row < rows; ++row)
            for (int x = 0; x < h.width; ++x) {
                BYTE alpha = bits[stride * row + 4 * x + 3];
                uint32_t& p = out->pixels[static_cast<size_t>(rows - 1 - row) * h.width + x];
                p = (p & 0x00FFFFFFu) | (uint32_t(alpha) << 24);
                ownAlpha = ownAlpha || alpha != 0;
            }
        if (!ownAlpha)
            for (uint32_t& p : out->pixels)
                p |= 0xFF000000u;
    }
    // The AND mask: 1 bit per pixel, bottom-up; a set bit is transparent. Some
    // icons omit it; they are then drawn opaque (or with their own alpha).
    const size_t maskStride = ((static_cast<size_t>(h.width) + 31) / 32) * 4;
    if (maskStride * rows > in.Left())
        return true;
    if (ownAlpha)
        return true;
    for (int row = 0; row < rows; ++row) {
        const BYTE* mask = in.Here() + maskStride * row;
        uint32_t* dst = out->pixels.data() + static_cast<size_t>(rows - 1 - row) * h.width;
        for (int x = 0; x < h.width; ++x)
            if (mask[x / 8] & (0x80 >> (x % 8)))
                dst[x] &= 0x00FFFFFFu;
    }
    return true;
}

namespace {

// One block of version information: wLength, wValueLength, wType, its key, its
// value, then its child blocks, each starting on a DWORD boundary.
struct VersionBlock {
    std::u16string key;
    size_t valueAt = 0;
    size_t childrenAt = 0;
    size_t end = 0;
};

bool VersionBlockAt(const BYTE* data, size_t size, size_t at, VersionBlock* block)
{
    Reader head(data + at, size - at);
    const size_t length = head.Word();
    if (!head.Ok() || length < 6 || length > size - at)
        return false;
    Reader in(data + at, length);
    in.Skip(2);
    const WORD valueLength = in.Word();
    const WORD textType = in.Word();
    block->key = in.String();
    in.AlignTo(4);
    if (!in.Ok())
        return false;
    block->valueAt = at + in.Pos();
    const size_t valueBytes = textType == 1 ? valueLength * size_t(2) : valueLength;
    block->childrenAt = at + std::min(length, (in.Pos() + std::min(valueBytes, in.Left()) + 3) / 4 * 4);
    block->end = at + length;
    return true;
}

// The child blocks of `parent`, in order.
std::vector<VersionBlock> VersionChildren(const BYTE* data, const VersionBlock& parent)
{
    std::vector<VersionBlock> children;
    for (size_t at = parent.childrenAt; at < parent.end;) {
        VersionBlock child;
        if (!VersionBlockAt(data, parent.end, at, &child))
            break;
        children.push_back(child);
        at = (child.end + 3) / 4 * 4;
    }
    return children;
}

}  // namespace

bool ParseVersionStrings(const void* data, size_t size, VersionStrings* out)
{
    out->values.clear();
    const BYTE* bytes = static_cast<const BYTE*>(data);
    VersionBlock root;
    if (!data || !VersionBlockAt(bytes, size, 0, &root) || root.key != u"VS_VERSION_INFO")
        return false;
    for (const VersionBlock& info : VersionChildren(bytes, root)) {
        if (info.key != u"StringFileInfo")
            continue;
        std::vector<VersionBlock> tables = VersionChildren(bytes, info);
        if (tables.empty())
            return false;
        for (const VersionBlock& string : VersionChildren(bytes, tables[0])) {
            Reader text(bytes + string.valueAt, string.end - std::min(string.valueAt, string.end));
            std::u16string value;
            for (WORD c; text.Left() >= 2 && (c = text.Word()) != 0;)
                value.push_back(char16_t(c));
            out->values.emplace_back(string.key, std::move(value));
        }
        return true;
    }
    return false;
}

