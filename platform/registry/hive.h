// The registry's contents in memory and their text form. Pure: no files here,
// so the parser and the writer are tested on strings.
#pragma once

#include <windef.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lwreg {

struct Value {
    std::u16string name;  // empty: the key's default value
    DWORD type = 0;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string path;  // "HKEY_CLASSES_ROOT\CHMFile\Shell", in the case first written
    std::vector<Value> values;

    const Value* FindValue(std::u16string_view name) const;
    // Returns true when the value was added or its type or data changed.
    bool SetValue(std::u16string_view name, DWORD type, std::vector<BYTE> data);
};

class Hive {
public:
    const Key* Find(std::u16string_view path) const;
    // A key exists when it was written or when one of its descendants was.
    bool Exists(std::u16string_view path) const;
    // Creates the key and its missing ancestors; returns it. *created tells
    // whether the key itself was new.
    Key& Create(std::u16string_view path, bool* created);
    const std::map<std::u16string, Key>& Keys() const { return keys_; }

private:
    std::map<std::u16string, Key> keys_;  // by folded path, so the file comes out sorted
};

// The names of the root keys as the text form writes them; null for a handle
// value that is not a root key.
const char16_t* RootName(ULONG_PTR handle);
// Case folding for comparing key and value names, as Windows compares them.
std::u16string Fold(std::u16string_view name);
bool EqualNames(std::u16string_view a, std::u16string_view b);

// Checks a full key path ("ROOT\a\b"): known root, no empty component, no
// control character or unpaired surrogate, components of at most 255 units.
// Fills `canonical` with the root spelled as RootName gives it.
bool ValidKeyPath(std::u16string_view path, std::u16string* canonical);

std::string ToUtf8(std::u16string_view text);  // unpaired surrogates become U+FFFD
bool FromUtf8(std::string_view text, std::u16string* out);

std::string Serialize(const Hive& hive);
// False, with a reason naming the line, when the text is not a hive.
bool Parse(std::string_view text, Hive* hive, std::string* error);

}  // namespace lwreg
