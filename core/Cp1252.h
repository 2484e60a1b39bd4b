#pragma once
// Windows code page 1252 <-> Unicode. Engine files keep their text lines
// in this code page; inside, text is QString.
//
// Every byte maps to one character and back: the five bytes that the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1
// control characters of the same value, as Windows does. A character that
// the code page cannot hold is written as '?'.
#include <cstddef>
#include <string>

#include <QByteArray>
#include <QString>

QString Cp1252ToString(const char* data, std::size_t size);
inline QString Cp1252ToString(const QByteArray& bytes) {
    return Cp1252ToString(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}
QByteArray StringToCp1252(const QString& text);
// Appends the CP1252 bytes of text to out.
void AppendCp1252(std::string& out, const QString& text);

// The character of one byte, and the byte of one character (-1 when the
// code page has none).
char16_t Cp1252ByteToChar(unsigned char byte);
int Cp1252CharToByte(char16_t ch);
// The 256 characters of the code page, by byte.
const char16_t* Cp1252Table();
