// Picture files made in memory for the decoder's tests: any picture in the
// formats Qt writes, GIFs (which Qt does not write) packed by hand, and files
// whose headers claim far more pixels than they hold; and the pixels of the
// bitmaps made from them.
#pragma once

#include <windows.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <functional>
#include <vector>

namespace lwtest {

// PNG, JPG or BMP bytes of the image, as Qt writes them.
inline QByteArray Encode(const QImage& image, const char* format, int quality = 100)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// An image of two halves: left `left`, right `right`.
inline QImage Halves(int width, int height, QColor left, QColor right)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, (x < width / 2 ? left : right).rgb());
    return image;
}

struct GifPicture {
    int width = 1;
    int height = 1;
    QRgb palette[4] = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    std::function<int(int, int)> index = [](int, int) { return 1; }; // palette entry of a pixel
    int frames = 1;
    int transparentIndex = -1;
    int screenWidth = -1; // the logical screen; -1: the frame's size
    int screenHeight = -1;
};

// A GIF with a four-colour table. Its LZW stream is left uncompressed: a clear
// code before every two pixels keeps the codes 3 bits wide.
inline QByteArray Gif(const GifPicture& picture)
{
    QByteArray out("GIF89a");
    auto word = [&](int v) { out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    word(picture.screenWidth < 0 ? picture.width : picture.screenWidth);
    word(picture.screenHeight < 0 ? picture.height : picture.screenHeight);
    out.append(char(0x81)).append(char(0)).append(char(0)); // global table of 4 entries
    for (QRgb c : picture.palette)
        out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));

    QByteArray codes; // the LZW stream, packed least significant bit first
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= uint32_t(code) << count;
        count += 3;
        while (count >= 8) {
            codes.append(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    int pixel = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x, ++pixel) {
            if (pixel % 2 == 0)
                put(4); // clear
            put(picture.index(x, y));
        }
    put(5); // end of information
    if (count > 0)
        codes.append(char(bits & 0xFF));

    for (int frame = 0; frame < picture.frames; ++frame) {
        if (picture.transparentIndex >= 0)
            out.append("\x21\xF9\x04\x01\x00\x00", 6).append(char(picture.transparentIndex)).append('\0');
        out.append(',');
        word(0), word(0), word(picture.width), word(picture.height);
        out.append('\0').append(char(2)); // no local table; LZW minimum code size 2
        for (qsizetype at = 0; at < codes.size(); at += 255) {
            QByteArray block = codes.mid(at, 255);
            out.append(char(block.size())).append(block);
        }
        out.append('\0');
    }
    out.append(';');
    return out;
}

inline uint32_t Crc32(const QByteArray& data)
{
    uint32_t crc = 0xFFFFFFFF;
    for (char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// A PNG of a few hundred bytes whose header claims width x height pixels.
inline QByteArray PngClaiming(uint32_t width, uint32_t height)
{
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    auto chunk = [&](const char* type, const QByteArray& data) {
        auto be = [&](uint32_t v) {
            out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
        };
        be(uint32_t(data.size()));
        QByteArray body = QByteArray(type, 4) + data;
        out.append(body);
        be(Crc32(body));
    };
    QByteArray header;
    for (uint32_t v : {width, height})
        header.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
    header.append(char(8)).append(char(6)).append('\0').append('\0').append('\0'); // 8-bit RGBA
    chunk("IHDR", header);
    chunk("IDAT", qCompress(QByteArray(256, '\0')).mid(4)); // zlib stream of the first rows only
    chunk("IEND", QByteArray());
    return out;
}

// A picture Qt writes, 16 x 16, its header rewritten to claim width x height
// pixels: JPEG (its SOF0 holds height then width, 16 bits, big-endian) and
// BMP (width then height, 32 bits, little-endian; its pixels cut to half).
inline QByteArray JpegClaiming(uint16_t width, uint16_t height)
{
    QByteArray bytes = Encode(QImage(16, 16, QImage::Format_RGB32), "JPG");
    qsizetype at = bytes.indexOf("\xFF\xC0") + 5;
    for (uint16_t v : {height, width}) {
        bytes[at++] = char(v >> 8);
        bytes[at++] = char(v & 0xFF);
    }
    return bytes;
}

inline QByteArray BmpClaiming(uint32_t width, uint32_t height)
{
    QByteArray bytes = Encode(QImage(16, 16, QImage::Format_RGB32), "BMP");
    qsizetype at = 18;
    for (uint32_t v : {width, height})
        for (int k = 0; k < 4; ++k)
            bytes[at++] = char(v >> (8 * k));
    return bytes.left(bytes.size() / 2);
}

// An icon file of `count` entries of 256 x 256, every one the same PNG.
inline QByteArray IconOf(int count, const QByteArray& png)
{
    QByteArray out("\0\0\1\0", 4);
    out.append(char(count & 0xFF)).append(char(count >> 8));
    uint32_t offset = 6 + 16 * uint32_t(count);
    for (int k = 0; k < count; ++k) {
        QByteArray entry(16, '\0');
        entry[4] = 1;  // planes
        entry[6] = 32; // bits
        for (int b = 0; b < 4; ++b) {
            entry[8 + b] = char(uint32_t(png.size()) >> (8 * b));
            entry[12 + b] = char(offset >> (8 * b));
        }
        out.append(entry);
    }
    return out.append(png);
}

inline QByteArray XbmClaiming(int width, int height)
{
    return QByteArray("#define b_width ") + QByteArray::number(width) + "\n#define b_height " +
           QByteArray::number(height) + "\nstatic char b_bits[] = {0x00,0x01};\n";
}

// The colour of a pixel of a bitmap that is selected nowhere.
inline COLORREF BitmapPixel(HBITMAP bitmap, int x, int y)
{
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    COLORREF colour = GetPixel(memory, x, y);
    SelectObject(memory, old);
    DeleteDC(memory);
    return colour;
}

} // namespace lwtest
