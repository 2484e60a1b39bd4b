#pragma once
// Code pages of dBase text. A dBase file names its code page by the
// language-driver byte of its header (or a ".cpg" file beside it); text is
// decoded from it on reading and encoded back into it on writing.
#include <cstddef>
#include <string>

#include <QByteArray>
#include <QString>

enum class TDbCodePage { Cp1252, Cp850, Utf8 };

// The code page of a language-driver byte; unknown drivers read as CP1252.
TDbCodePage CodePageOfLanguageDriver(int ldid);
// The language-driver byte written for a code page.
int LanguageDriverOfCodePage(TDbCodePage cp);
// The code page named by the text of a ".cpg" file, else fallback.
TDbCodePage CodePageOfCpgText(const QByteArray& text, TDbCodePage fallback);

// Bytes of the code page -> UTF-8 (out is replaced).
void DecodeText(TDbCodePage cp, const char* data, std::size_t size, std::string& out);
// Text -> bytes of the code page; characters it cannot hold become '?'.
QByteArray EncodeText(TDbCodePage cp, const QString& text);
