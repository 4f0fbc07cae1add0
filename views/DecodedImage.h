// An image file decoded into a bitmap held in the object's own memory context,
// from which copies at a chosen size are made.
#pragma once

#include "WideString.h"

#include <imgdecmp.h>
#include <windows.h>

class DecodedImage {
public:
    DecodedImage();
    virtual ~DecodedImage();
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;

    // Decodes the file at the device path for the context. The same path again
    // (in any letter case) keeps the bitmap already made. False when the file
    // cannot be opened or holds no picture the decoder reads; the object then
    // holds no image.
    bool Decode(HDC dc, LPCWSTR path);
    // The decoded bitmap's size in pixels; 0 without an image.
    int Height() const { return height; }
    int Width() const { return width; }
    // A new bitmap of the canvas size, white, with the image drawn into its
    // top-left corner at width x height; the caller owns it. A width or height
    // of -1 follows the other through the aspect ratio (both: the image's own
    // size); a canvas side of -1 makes a square of the larger drawn side. NULL
    // without an image or when the bitmap cannot be made.
    HBITMAP Render(int width, int height, int canvasWidth, int canvasHeight);
    // Draws the image stretched into the rectangle, leaving out the pixels of
    // the transparent colour (0xC0C0C0: DefaultTransparentColour()). A side of
    // -1 is the image's own. FALSE without an image.
    BOOL Draw(HDC dc, int x, int y, int width, int height, COLORREF transparent);
    // White once a memory context exists, else black.
    COLORREF DefaultTransparentColour() const;

    // The decoder's callbacks; the user value is the open file's handle.
    static DWORD CALLBACK ReadImageData(LPSTR buffer, DWORD size, LPARAM user);
    static void CALLBACK ImageProgress(IImageRender* render, BOOL complete, LPARAM user);

private:
    // Deletes the memory context and the bitmap, and forgets the image.
    void Discard();

    WideString name;
    int height;
    int width;
    HDC memoryDC;
    HBITMAP bitmap;
};
