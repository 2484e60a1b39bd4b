#pragma once
// Code pages of rich-text documents: the document's ANSI code page
// (\ansicpg), the character set of each font (\fcharset, \cpg) and the
// Symbol font's own encoding.
//
// A code page is a table of 256 characters, one per byte, built once per
// code page and shared by every reader (thread-safe). The Asian two-byte
// code pages also mark their lead bytes; a lead byte and the byte after
// it decode together.
#include <QByteArray>

class TRtfCodePage {
public:
    // The code page of that number (1252 when it is unknown or cannot be
    // decoded here). Never null; lives until the program ends.
    static const TRtfCodePage* Get(int codePage);
    // The Symbol font (charset 2 with a font named "Symbol").
    static const TRtfCodePage* Symbol();
    // Other fonts of charset 2 (Wingdings and the like): each byte becomes
    // the private-use character U+F000 + byte, which those fonts draw.
    static const TRtfCodePage* SymbolPrivateUse();
    // The code page of a font's \fcharset; 0 when the charset means "the
    // document's code page" (ANSI default, unknown values).
    static int CodePageOfCharset(int charset);

    int Number() const { return number_; }
    // The characters of the bytes.
    const char16_t* Table() const { return table_; }
    bool IsLeadByte(unsigned char b) const { return lead_[b]; }
    bool DoubleByte() const { return doubleByte_; }
    // A two-byte character (lead byte first); U+FFFD when it has none.
    char16_t Pair(unsigned char lead, unsigned char trail) const;

private:
    TRtfCodePage() = default;
    int number_ = 1252;
    QByteArray name_;  // the decoder's name, for two-byte pairs
    bool doubleByte_ = false;
    char16_t table_[256] = {};
    bool lead_[256] = {};

    friend struct TRtfCodePageFactory;
};
