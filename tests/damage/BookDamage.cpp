#include "BookDamage.h"

#include <Book.h>
#include <Export.h>
#include <Search.h>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace damage {

uint32_t Le32(const Bytes& b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24; }
uint64_t Le64(const Bytes& b, size_t at) { return Le32(b, at) | (uint64_t)Le32(b, at + 4) << 32; }

namespace {

void PutLe32(Bytes* b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        (*b)[at + i] = (uint8_t)(v >> (8 * i));
}

bool ReadNumber(const Bytes& b, size_t* at, size_t end, uint64_t* value)
{
    uint64_t accumulated = 0;
    while (*at < end) {
        uint8_t byte = b[(*at)++];
        accumulated = (accumulated << 7) | (byte & 0x7F);
        if (byte < 0x80) {
            *value = accumulated;
            return true;
        }
    }
    return false;
}

void PutNumber(Bytes* out, uint64_t value)
{
    uint8_t groups[10];
    int count = 0;
    do {
        groups[count++] = value & 0x7F;
        value >>= 7;
    } while (value);
    while (count > 1)
        out->push_back(groups[--count] | 0x80);
    out->push_back(groups[0]);
}

std::u16string Wide(const char* utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::u16string text(size > 0 ? size : 1, u'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), size);
    text.resize(text.size() - 1);
    return text;
}

void Snapshot(const std::string& folder, const std::string& relative, const std::string& skip,
              std::vector<std::string>* lines)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    while (dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = folder + "/" + name;
        if (path == skip)
            continue;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0)
            continue;
        char line[64];
        snprintf(line, sizeof line, " %lld %lld.%09ld", (long long)info.st_size, (long long)info.st_mtim.tv_sec,
                 info.st_mtim.tv_nsec);
        lines->push_back(relative + name + line);
        if (S_ISDIR(info.st_mode))
            Snapshot(path, relative + name + "/", skip, lines);
    }
    closedir(dir);
}

} // namespace

Bytes ReadHostFile(const std::string& path)
{
    Bytes bytes;
    if (FILE* file = fopen(path.c_str(), "rb")) {
        uint8_t buffer[65536];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + got);
        fclose(file);
    }
    return bytes;
}

bool WriteHostFile(const std::string& path, const Bytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

uint64_t Corruptor::Next()
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

void Corruptor::FlipBytes(Bytes* book, size_t count, size_t from, size_t to)
{
    if (to == 0 || to > book->size())
        to = book->size();
    if (from >= to)
        return;
    for (size_t i = 0; i < count; ++i)
        (*book)[from + Below(to - from)] ^= (uint8_t)(1 + Below(255));
}

bool ReadLayout(const Bytes& book, Layout* layout)
{
    if (book.size() < 0x60 || memcmp(book.data(), "ITSF", 4) != 0)
        return false;
    layout->directoryOffset = Le64(book, 0x48);
    layout->dataOffset = Le32(book, 4) == 3 ? Le64(book, 0x58) : Le64(book, 0x48) + Le64(book, 0x50);
    if (layout->directoryOffset + 0x54 > book.size())
        return false;
    layout->chunkSize = Le32(book, layout->directoryOffset + 0x10);
    layout->chunkCount = Le32(book, layout->directoryOffset + 0x2C);
    for (uint32_t chunk = 0; chunk < layout->chunkCount; ++chunk) {
        std::vector<Entry> entries;
        if (!ReadListing(book, *layout, chunk, &entries))
            continue;
        for (const Entry& entry : entries) {
            uint64_t at = layout->dataOffset + entry.start;
            if (entry.path.find("/InstanceData/ResetTable") != std::string::npos) {
                layout->resetTableOffset = at;
                layout->resetTableLength = entry.length;
            } else if (entry.path == "::DataSpace/Storage/MSCompressed/ControlData") {
                layout->controlDataOffset = at;
            } else if (entry.path == "::DataSpace/Storage/MSCompressed/Content") {
                layout->contentOffset = at;
                layout->contentLength = entry.length;
            }
        }
    }
    return layout->resetTableOffset && layout->contentOffset;
}

bool ReadListing(const Bytes& book, const Layout& layout, uint32_t chunk, std::vector<Entry>* entries)
{
    uint64_t offset = layout.ChunkOffset(chunk);
    if (chunk >= layout.chunkCount || offset + layout.chunkSize > book.size() ||
        memcmp(&book[offset], "PMGL", 4) != 0)
        return false;
    size_t at = offset + 0x14;
    size_t end = offset + layout.chunkSize - Le32(book, offset + 4);
    entries->clear();
    while (at < end) {
        Entry entry;
        uint64_t length = 0;
        if (!ReadNumber(book, &at, end, &length) || length > end - at)
            return false;
        entry.path.assign((const char*)&book[at], length);
        at += length;
        if (!ReadNumber(book, &at, end, &entry.space) || !ReadNumber(book, &at, end, &entry.start) ||
            !ReadNumber(book, &at, end, &entry.length))
            return false;
        entries->push_back(entry);
    }
    return true;
}

bool WriteListing(Bytes* book, const Layout& layout, uint32_t chunk, const std::vector<Entry>& entries)
{
    uint64_t offset = layout.ChunkOffset(chunk);
    if (chunk >= layout.chunkCount || offset + layout.chunkSize > book->size() ||
        memcmp(&(*book)[offset], "PMGL", 4) != 0)
        return false;
    Bytes encoded;
    for (const Entry& entry : entries) {
        PutNumber(&encoded, entry.path.size());
        encoded.insert(encoded.end(), entry.path.begin(), entry.path.end());
        PutNumber(&encoded, entry.space);
        PutNumber(&encoded, entry.start);
        PutNumber(&encoded, entry.length);
    }
    if (encoded.size() > layout.chunkSize - 0x14)
        return false;
    // The quick-reference area at the chunk's end goes: chmlib never reads it.
    std::fill(book->begin() + offset + 0x14, book->begin() + offset + layout.chunkSize, 0);
    std::copy(encoded.begin(), encoded.end(), book->begin() + offset + 0x14);
    PutLe32(book, offset + 4, (uint32_t)(layout.chunkSize - 0x14 - encoded.size()));
    return true;
}

CraftedBook::CraftedBook(Bytes healthy) : bytes(std::move(healthy))
{
    ok = ReadLayout(bytes, &layout) && layout.chunkCount == 1 && ReadListing(bytes, layout, 0, &entries);
}

Entry* CraftedBook::Find(const std::string& path)
{
    for (Entry& entry : entries) {
        if (entry.path == path)
            return &entry;
    }
    return nullptr;
}

void CraftedBook::Put(const std::string& path, const std::string& text)
{
    Entry entry{path, 0, bytes.size() - layout.dataOffset, text.size()};
    bytes.insert(bytes.end(), text.begin(), text.end());
    if (Entry* old = Find(path))
        *old = entry;
    else
        entries.push_back(entry);
}

bool CraftedBook::Rename(const std::string& from, const std::string& to)
{
    Entry* entry = Find(from);
    if (entry)
        entry->path = to;
    return entry != nullptr;
}

Bytes CraftedBook::Build()
{
    Bytes book = bytes;
    ok = ok && WriteListing(&book, layout, 0, entries);
    return book;
}

Bytes WithIndexChain(const Bytes& book, int indexChunks, uint32_t claimedDepth)
{
    Layout layout;
    std::vector<Entry> entries;
    if (!ReadLayout(book, &layout) || layout.chunkCount != 1 || Le32(book, 4) != 3 ||
        !ReadListing(book, layout, 0, &entries) || entries.empty())
        return {};
    const uint32_t size = layout.chunkSize;
    Bytes out = book;
    const uint64_t directory = out.size();
    // The header, then the listing as chunk 0 and index chunk k as chunk k;
    // the root (the last) leads down to chunk 0 through every other.
    out.insert(out.end(), book.begin() + layout.directoryOffset, book.begin() + layout.directoryOffset + 0x54);
    out.insert(out.end(), book.begin() + layout.ChunkOffset(0), book.begin() + layout.ChunkOffset(0) + size);
    for (int k = 1; k <= indexChunks; ++k) {
        Bytes chunk(size, 0);
        memcpy(chunk.data(), "PMGI", 4);
        Bytes entry;
        PutNumber(&entry, entries[0].path.size());
        entry.insert(entry.end(), entries[0].path.begin(), entries[0].path.end());
        PutNumber(&entry, (uint64_t)(k - 1));
        std::copy(entry.begin(), entry.end(), chunk.begin() + 8);
        PutLe32(&chunk, 4, (uint32_t)(size - 8 - entry.size()));
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    PutLe32(&out, directory + 0x18, claimedDepth);
    PutLe32(&out, directory + 0x1C, (uint32_t)indexChunks);
    PutLe32(&out, directory + 0x2C, (uint32_t)indexChunks + 1);
    for (int i = 0; i < 8; ++i) {
        out[0x48 + i] = (uint8_t)(directory >> (8 * i));
        out[0x50 + i] = (uint8_t)((0x54 + (uint64_t)size * (indexChunks + 1)) >> (8 * i));
    }
    return out;
}

void LzxWriter::Bits(uint32_t value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        word = word << 1 | ((value >> i) & 1);
        if (++used == 16) {
            bytes.push_back((uint8_t)word);
            bytes.push_back((uint8_t)(word >> 8));
            word = 0;
            used = 0;
        }
    }
}

void LzxWriter::Align()
{
    if (used)
        Bits(0, 16 - used);
}

void LzxWriter::Raw(const Bytes& raw)
{
    Align();
    bytes.insert(bytes.end(), raw.begin(), raw.end());
}

Bytes LzxWriter::Finish()
{
    Align();
    return bytes;
}

void LzxWriter::Lengths(int count, const std::vector<std::pair<int, int>>& lengths)
{
    // The small tree: 0, 15 and 16 with two-bit codes 00, 01, 10; 17 and 18
    // with three-bit codes 110, 111.
    for (int symbol = 0; symbol < 20; ++symbol)
        Bits(symbol == 0 || symbol == 15 || symbol == 16 ? 2 : symbol == 17 || symbol == 18 ? 3 : 0, 4);
    auto zeros = [this](int run) {
        while (run > 0) {
            if (run >= 20) {
                int n = std::min(run, 51);
                Bits(7, 3);
                Bits(n - 20, 5);
                run -= n;
            } else if (run >= 4) {
                Bits(6, 3);
                Bits(run - 4, 4);
                run = 0;
            } else {
                Bits(0, 2);
                --run;
            }
        }
    };
    int next = 0;
    for (auto [symbol, length] : lengths) {
        zeros(symbol - next);
        Bits(length == 1 ? 2 : 1, 2);  // (0 - 16) mod 17 = 1, (0 - 15) mod 17 = 2
        next = symbol + 1;
    }
    zeros(count - next);
}

Outcome ExerciseBook(LPCWSTR bookPath, LPCWSTR folder, size_t maxPages)
{
    Outcome outcome;
    WCHAR folderWithSlash[MAX_PATH];
    if (FAILED(StringCchPrintfW(folderWithSlash, MAX_PATH, u"%s\\", folder)))
        return outcome;
    Book book;
    book.LoadContents(bookPath);
    outcome.opened = book.chm != nullptr;
    outcome.contentsEntries = book.contents.size();
    size_t pages = 0;
    for (const TocEntry& entry : book.contents) {
        if (pages == maxPages)
            break;
        if (!entry.local[0])
            continue;
        ClearFolder(folderWithSlash);
        outcome.pagesFound += book.ExtractPage(entry.local, folder) != 0;
        ++pages;
    }

    // Objects every book has, the contents file, and some of the list, each
    // written out and read as text.
    std::vector<std::u16string> known = {u"/#SYSTEM", u"/#WINDOWS", u"/#TOPICS", u"/$FIftiMain", u"/"};
    if (const ObjectEntry* contentsFile = book.FindContentsFile())
        known.push_back(Wide(contentsFile->path));
    for (size_t i = 0; i < book.objects.size() && i < 6; ++i)
        known.push_back(Wide(book.objects[i].path));
    if (!book.objects.empty())
        known.push_back(Wide(book.objects.back().path));
    for (const std::u16string& path : known) {
        ClearFolder(folderWithSlash);
        book.ExtractObject(path.c_str(), folder);
        if (const ObjectEntry* entry = book.FindObject(path.c_str()))
            free(book.ReadObjectText(*entry));
    }

    // The keyword index, a search through the book's index and by the scan,
    // and the whole book exported, as the tool runs them.
    book.ReadKeywordIndex([](const TocEntry&, size_t, size_t, void* count) { ++*static_cast<size_t*>(count); },
                          &outcome.keywords);
    SearchOptions scan;
    scan.scanOnly = true;
    outcome.found = SearchBook(book, {u"the"}, {}).pages.size();
    SearchBook(book, {u"the", u"页"}, scan);
    WCHAR exportFolder[MAX_PATH];
    char host[4096];
    if (SUCCEEDED(StringCchPrintfW(exportFolder, MAX_PATH, u"%sexport", folderWithSlash)) &&
        DeviceToHostPath(exportFolder, host, sizeof host)) {
        outcome.exported = ExportBook(book, exportFolder).filesWritten;
        std::error_code ignored;
        std::filesystem::remove_all(host, ignored);
    }
    book.Close();
    return outcome;
}

std::vector<std::string> SnapshotFolder(const std::string& hostFolder, const std::string& skip)
{
    std::vector<std::string> lines;
    Snapshot(hostFolder, "", skip, &lines);
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace damage
