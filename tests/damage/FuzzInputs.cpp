#include "FuzzInputs.h"

#include "PageDrive.h"

#include <Book.h>
#include <DecodedImage.h>
#include <imgdecmp.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LEAFWISE_HEAP_CHECK 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define LEAFWISE_HEAP_CHECK 1
#endif
#ifdef LEAFWISE_HEAP_CHECK
// The sanitizer runtime's count of the heap in use (declared here: GCC ships
// the runtime without its headers).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace fuzzinput {
namespace {

// Contents pages of a book shown per input: enough to reach pages with
// pictures, few enough to keep each run short.
constexpr size_t kPagesPerBook = 4;
// Inputs run before the heap in use is taken as the baseline: Qt fills its
// caches (fonts, glyphs, styles) with the first pages, and a book's pages in
// many scripts and sizes keep filling them for some hundreds of inputs.
constexpr unsigned kWarmUpInputs = 512;
constexpr int kSettleLimitMs = 10000;

struct Decoding {
    DWORD buffer;
    int depth;
    int maxWidth;
    int maxHeight;
    int scale;
};

// The page window's own settings first, then others an input picks.
const Decoding kPageWindowDecoding = {1024, 32, 10000, 10000, 100};
const Decoding kDecodings[] = {
    {1, 1, 0, 0, 100},      {7, 2, 1, 1, 1},     {64, 4, 240, 320, 50}, {3000, 8, 16, 4096, 100},
    {17, 16, 100, 1, 99},   {512, 24, 0, 0, 10}, {4096, 32, 2, 2, 100}, {1024, 0, 10000, 10000, 100},
};

struct Feed {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    static DWORD CALLBACK Read(LPSTR buffer, DWORD max, LPARAM user)
    {
        Feed* feed = reinterpret_cast<Feed*>(user);
        size_t n = std::min<size_t>(max, feed->size - feed->at);
        memcpy(buffer, feed->data + feed->at, n);
        feed->at += n;
        return static_cast<DWORD>(n);
    }
};

void Decode(const uint8_t* data, size_t size, const Decoding& decoding, HDC dc)
{
    std::string buffer(decoding.buffer, '\0');
    Feed feed{data, size};
    HBITMAP bitmap = nullptr;
    DECOMPRESSIMAGEINFO info{};
    info.dwSize = sizeof info;
    info.pbBuffer = reinterpret_cast<LPBYTE>(buffer.data());
    info.dwBufferMax = decoding.buffer;
    info.phBM = &bitmap;
    info.iBitDepth = decoding.depth;
    info.lParam = reinterpret_cast<LPARAM>(&feed);
    info.hdc = dc;
    info.iScale = decoding.scale;
    info.iMaxWidth = decoding.maxWidth;
    info.iMaxHeight = decoding.maxHeight;
    info.pfnGetData = Feed::Read;
    info.crTransparentOverride = size % 2 ? RGB(0, 255, 0) : 0xFFFFFFFF;
    if (SUCCEEDED(DecompressImageIndirect(&info)) && bitmap)
        DeleteObject(bitmap);
}

void WriteScratchFile(const char* name, const uint8_t* data, size_t size)
{
    std::ofstream(pagedrive::ScratchHost() + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

bool RunPage(const uint8_t* data, size_t size)
{
    pagedrive::Start();
    pagedrive::WritePage(pagedrive::DecodePage(data, size));
    pagedrive::Options options;
    options.settleLimitMs = kSettleLimitMs;
    options.exercise = true;
    return pagedrive::ShowPage(options).answers;
}

bool RunImage(const uint8_t* data, size_t size)
{
    pagedrive::Start();
    HDC screen = GetDC(nullptr);
    Decode(data, size, kPageWindowDecoding, screen);
    size_t pick = size ? data[size - 1] : 0;
    Decode(data, size, kDecodings[pick % std::size(kDecodings)], screen);
    Decode(data, size, kDecodings[(pick / 8 + 3) % std::size(kDecodings)], nullptr);

    pagedrive::WritePage(u"");
    WriteScratchFile("picture", data, size);
    DecodedImage image;
    if (image.Decode(screen, u"\\Temp\\picture")) {
        HBITMAP copy = image.Render(image.Width(), image.Height(), image.Width(), image.Height());
        // And into a canvas of a fixed size: a canvas of -1 is a square of the
        // larger side, which for a picture of extreme proportions is as large
        // as the caller asked (the page window never asks for one).
        HBITMAP scaled = image.Render(80, -1, 100, 60);
        HDC memory = CreateCompatibleDC(screen);
        for (HBITMAP bitmap : {copy, scaled}) {
            if (!bitmap)
                continue;
            HGDIOBJ old = SelectObject(memory, bitmap);
            BitBlt(screen, 0, 0, 240, 320, memory, 0, 0, SRCCOPY);
            SelectObject(memory, old);
            DeleteObject(bitmap);
        }
        DeleteDC(memory);
    }
    ReleaseDC(nullptr, screen);
    return true;
}

bool RunBookPage(const uint8_t* data, size_t size)
{
    pagedrive::Start();
    {
        std::ofstream out(pagedrive::RootHost() + "/book.chm", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    Book book;
    book.LoadContents(u"\\book.chm");
    bool answered = true;
    size_t pages = 0;
    for (const TocEntry& entry : book.contents) {
        if (pages == kPagesPerBook)
            break;
        if (!entry.local[0])
            continue;
        ++pages;
        book.ClearTempFolder();
        book.ExtractPage(entry.local, u"\\Temp");
        std::u16string local = entry.local;
        size_t split = local.find_last_of(u"/\\");
        pagedrive::Options options;
        options.folder = split == std::u16string::npos ? u"" : local.substr(0, split);
        options.file = split == std::u16string::npos ? local : local.substr(split + 1);
        options.book = &book;
        options.settleLimitMs = kSettleLimitMs;
        options.exercise = true;
        answered = pagedrive::ShowPage(options).answers && answered;
    }
    book.ClearTempFolder();
    book.Close();
    return answered;
}

bool Run(Target target, const uint8_t* data, size_t size)
{
    switch (target) {
    case Target::Page: return RunPage(data, size);
    case Target::Image: return RunImage(data, size);
    case Target::BookPage: return RunBookPage(data, size);
    }
    return false;
}

void RunChecked(Target target, const uint8_t* data, size_t size)
{
#ifdef LEAFWISE_HEAP_CHECK
    // Only what the inputs themselves leave behind counts: the fuzzer keeps
    // its corpus on the same heap, and it grows between the inputs.
    static unsigned inputs = 0;
    static long long grown = 0;
    size_t before = __sanitizer_get_current_allocated_bytes();
    Run(target, data, size);
    long long left = (long long)__sanitizer_get_current_allocated_bytes() - (long long)before;
    if (++inputs <= kWarmUpInputs)
        return;
    grown += left;
    if (grown > (long long)kLeakBound) {
        fprintf(stderr, "leak: the inputs after the first %u left %lld MB on the heap\n", kWarmUpInputs, grown >> 20);
        abort();
    }
#else
    Run(target, data, size);
#endif
}

} // namespace fuzzinput
