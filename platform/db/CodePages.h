#pragma once
// Code pages of table text. A dBase file names its code page by a ".cpg"
// file beside it or, without one, by the language-driver byte of its
// header; a Paradox table by the code page number of its header. Text is
// decoded from it on reading and encoded back into it on writing.
//
// A code page is known by its number (DOS and Windows numbering; 28591 for
// ISO-8859-1, 65001 for UTF-8). The single-byte pages are read through
// tables of our own; the East Asian multi-byte pages (932, 936, 949, 950)
// and the rarer pages a ".cpg" may name go through the C library's iconv.
#include <cstddef>
#include <cstdint>
#include <string>

#include <QByteArray>
#include <QString>

enum class TDbCodePage : int {
    Cp437 = 437,
    Cp850 = 850,
    Cp852 = 852,
    Cp860 = 860,
    Cp866 = 866,
    Cp1252 = 1252,
    Latin1 = 28591,
    Utf8 = 65001,
};

// The code page of a language-driver byte; 0 and unknown bytes read as
// CP1252. The drivers of code pages 620 (Mazovia) and 895 (Kamenický)
// answer those numbers, which CodePageSupported refuses.
TDbCodePage CodePageOfLanguageDriver(int ldid);
// The language-driver byte written for a code page (0 when none names it).
int LanguageDriverOfCodePage(TDbCodePage cp);
// The code page named by the text of a ".cpg" file ("UTF-8", "1252",
// "CP850", "ISO-8859-1", "88591", "ANSI 1252", "GBK"...), else fallback.
TDbCodePage CodePageOfCpgText(const QByteArray& text, TDbCodePage fallback);
// Whether text of the code page can be read and written.
bool CodePageSupported(TDbCodePage cp);
// The code page the text of a table file in code page cp is read in: cp
// when supported; else the nearest page that is (437 for 620 and 895,
// whose pages differ from it only in letters, 1252 for the others), with
// readOnly set to why the table cannot be written (naming the file and
// the page).
TDbCodePage ReadableCodePage(TDbCodePage cp, const QString& fileName, QString& readOnly);

// Bytes of the code page -> UTF-8 (out is replaced). Bytes the code page
// does not define, and broken UTF-8, read as U+FFFD.
void DecodeText(TDbCodePage cp, const char* data, std::size_t size, std::string& out);
// Text -> bytes of the code page; characters it cannot hold become '?'
// (the first of them in *refused when given, else 0 there). With
// maxBytes >= 0 the text is cut to at most that many bytes, at a character
// boundary.
QByteArray EncodeText(TDbCodePage cp, const QString& text, int maxBytes = -1, char32_t* refused = nullptr);

// The text of a field's value in the table's code page; a character the
// code page cannot hold raises EDatabaseError naming it, the field, the
// record (1-based) and the file.
struct TFieldPlace {
    const QString& File;
    const QString& Field;
    std::int64_t Record;
};
QByteArray EncodeFieldText(TDbCodePage cp, const QString& text, int maxBytes, const TFieldPlace& place);
