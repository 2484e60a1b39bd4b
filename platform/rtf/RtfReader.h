#pragma once
// Rich-text (RTF) documents read into a QTextDocument: the plan's staff,
// justification and methodology chapters.
//
// Read: the font, colour, style and list tables; code pages (\ansicpg,
// each font's \fcharset, \'hh escapes, \uN with its \ucN fallback);
// paragraph formats (alignment, indents, spacing, line spacing, tab stops)
// and character formats (bold, italic, underline, size, font, colour);
// numbered and bulleted lists; tables, with cells merged across (\clmgf,
// \clmrg) and down (\clvmgf, \clvmrg); PNG and JPEG pictures, in hexadecimal
// or binary, checked while read and decoded when the document shows them
// (its resource provider answers their names). Destinations that are not
// text (headers, footers, notes, document information, field instructions,
// anything after \*) are skipped; other picture kinds (metafiles,
// device-independent bitmaps) are not shown.
//
// Errors: a damaged or truncated document raises ERtfError naming the
// file and what is wrong; the document then holds what was read before
// the fault. A damaged picture does not stop the reading: the rest is read,
// then the error is raised. Nesting (256 groups), pictures (64 MB of data,
// the program's pixel limit each, twice that for all), tables (64 columns,
// 100000 cells) and the \uc fallback (16 characters) are bounded.
#include <QByteArray>
#include <QString>

#include "core/Errors.h"

class QTextDocument;

class ERtfError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// Replaces the document's content with the RTF text. The document's undo
// setting is kept; the reading itself is not undoable.
void ReadRtf(const QByteArray& rtf, QTextDocument& document);
// The same from a file; raises EFileError when it cannot be read.
void ReadRtfFile(const QString& file, QTextDocument& document);
