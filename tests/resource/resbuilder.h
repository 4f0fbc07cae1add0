// Builds .res images and resource data in memory for the tests.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

class Bytes {
public:
    Bytes& W(unsigned v) { return Put(&v, 2); }
    Bytes& D(unsigned v) { return Put(&v, 4); }
    Bytes& B(unsigned v) { return Put(&v, 1); }
    Bytes& S(const std::u16string& s)
    {
        for (char16_t c : s)
            W(c);
        return W(0);
    }
    Bytes& Align(size_t n)
    {
        while (data.size() % n)
            data.push_back(0);
        return *this;
    }
    Bytes& Raw(const std::vector<BYTE>& more)
    {
        data.insert(data.end(), more.begin(), more.end());
        return *this;
    }
    std::vector<BYTE> data;

private:
    Bytes& Put(const void* v, size_t n)
    {
        const BYTE* p = static_cast<const BYTE*>(v);  // little-endian host
        data.insert(data.end(), p, p + n);
        return *this;
    }
};

// A .res image: the leading empty record, then one record per Add.
class ResImage {
public:
    ResImage() { Add(0, 0, {}); }
    ResImage& Add(WORD type, WORD name, const std::vector<BYTE>& payload)
    {
        Bytes header;
        header.D(static_cast<unsigned>(payload.size())).D(32);
        header.W(0xFFFF).W(type).W(0xFFFF).W(name);
        header.D(0).W(0x1030).W(0x0409).D(0).D(0);
        image.Raw(header.data).Raw(payload).Align(4);
        return *this;
    }
    // A record with a string type name, which lookups skip.
    ResImage& AddNamedType(const std::u16string& type, WORD name, const std::vector<BYTE>& payload)
    {
        Bytes header;
        header.D(static_cast<unsigned>(payload.size())).D(0);
        header.S(type).W(0xFFFF).W(name).Align(4);
        header.D(0).W(0x1030).W(0x0409).D(0).D(0);
        unsigned size = static_cast<unsigned>(header.data.size());
        std::memcpy(header.data.data() + 4, &size, 4);
        image.Raw(header.data).Raw(payload).Align(4);
        return *this;
    }
    Bytes image;
};

// A string-table block of 16 entries; missing entries are empty.
inline std::vector<BYTE> StringBlock(const std::vector<std::u16string>& strings)
{
    Bytes b;
    for (size_t i = 0; i < 16; ++i) {
        std::u16string s = i < strings.size() ? strings[i] : u"";
        b.W(static_cast<unsigned>(s.size()));
        for (char16_t c : s)
            b.W(c);
    }
    return b.data;
}
