// What the book and page benchmarks share besides timing: device paths, and
// the page they work on.
#pragma once

#include <Book.h>

#include "benchtiming.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

inline std::u16string DevicePath(const std::string& host)
{
    WCHAR device[MAX_PATH];
    return HostToDevicePath(std::filesystem::absolute(host).c_str(), device, MAX_PATH) ? device : u"";
}

// A page and the images it names that the book has.
struct ImagePage {
    std::u16string page;
    std::vector<std::string> objects;  // paths as the book stores them, the page first
    std::vector<std::u16string> sources;  // the img src values as written, one per object after the page
};

// The first contents page of a book with more than `wanted` distinct images
// found in the book; empty when there is none.
inline ImagePage FindImagePage(Book& book, size_t wanted)
{
    for (const TocEntry& entry : book.contents) {
        const ObjectEntry* page = entry.local[0] ? book.FindObject(entry.local) : nullptr;
        if (!page)
            continue;
        WCHAR* text = book.ReadObjectText(*page);
        if (!text)
            continue;
        ImagePage result{entry.local, {page->path}, {}};
        std::set<std::string> seen;
        for (const WCHAR* tag = wcsstr(text, u"<img"); tag; tag = wcsstr(tag + 4, u"<img")) {
            const WCHAR* src = wcsstr(tag, u"src=\"");
            const WCHAR* close = wcschr(tag, '>');
            if (!src || !close || src > close)
                continue;
            std::u16string value(src + 5, std::min(wcschr(src + 5, '"'), close) - (src + 5));
            WCHAR imagePath[MAX_PATH];
            if (!ResolveImagePath(entry.local, value.c_str(), imagePath, MAX_PATH))
                continue;
            const ObjectEntry* image = book.FindObject(imagePath);
            if (image && seen.insert(image->path).second) {
                result.objects.push_back(image->path);
                result.sources.push_back(value);
            }
        }
        free(text);
        if (result.objects.size() > wanted)
            return result;
    }
    return {};
}
