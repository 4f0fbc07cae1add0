// The page's source read once, by the tokenizing rules browsers follow: tags
// with their attributes, text with its character references decoded, the raw
// text of scripts, styles and titles; comments and declarations dropped. What
// the viewer builds for Qt comes from these tokens only. Free of Qt.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace lwhtml {

// Attributes kept of one tag (the rest are read past); a page's tags use a
// handful, the viewer keeps fewer still.
constexpr size_t kMaxAttributes = 32;
// UTF-16 units kept of an attribute's value; a longer value is dropped whole
// (a link or a style that long is no link or style a reader needs).
constexpr size_t kMaxAttributeUnits = 4096;
// Units of a tag or attribute name that can match a name the viewer knows.
constexpr size_t kMaxNameUnits = 32;

struct Attribute {
    std::u16string name;  // lower case
    std::u16string value; // references decoded
};

struct Token {
    enum class Kind { StartTag, EndTag, Text };
    Kind kind = Kind::Text;
    std::u16string name; // tags: lower case, cut to kMaxNameUnits (then matching no known name)
    std::vector<Attribute> attributes;
    bool selfClosing = false;
    std::u16string text; // Text: the characters, references decoded
};

// The text a character reference stands for when the source holds `name`
// right after '&' ("amp;", "#169;", "copy" without its ';'): sets *used to the
// units it takes and returns the character, or returns 0 when the '&' is text.
// In attribute values, a reference without ';' followed by a letter, a digit
// or '=' is text, as browsers read it.
char32_t ReadReference(const char16_t* at, size_t available, bool inAttribute, size_t* used);

class Tokenizer {
public:
    // The source: CR and CR LF read as LF, lone surrogates as U+FFFD.
    Tokenizer(const char16_t* text, size_t length);
    // The next token; false at the end of the source. A tag cut short by the
    // end of the source is dropped, as browsers drop it.
    bool Next(Token* token);

private:
    enum class Raw { None, RawText, RcData, Script, PlainText };

    char16_t At(size_t i) const { return i < length_ ? text_[i] : 0; }
    bool StartsWithIgnoringCase(size_t at, const char* lower) const;
    bool ReadTag(Token* token);
    void ReadAttributes(Token* token);
    bool ReadAttributeValue(std::u16string* value);
    void SkipMarkup();
    void ReadText(Token* token);
    void ReadRawText(Token* token);
    void AppendReference(std::u16string* out, bool inAttribute);

    std::u16string source_;
    const char16_t* text_;
    size_t length_;
    size_t pos_ = 0;
    Raw raw_ = Raw::None;
    std::u16string rawEnd_; // the element whose end tag ends the raw text
};

} // namespace lwhtml
