#pragma once
// Rich-text (RTF) documents read into a QTextDocument: the plan's staff,
// justification and methodology chapters.
//
// Errors: a damaged or truncated document raises ERtfError naming the
// file and what is wrong; the document then holds what was read before
// the fault. Nesting, pictures and tables are bounded.
#include <QByteArray>
#include <QString>

#include "engine/core/Errors.h"

class QTextDocument;

class ERtfError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// Replaces the document's content with the RTF text.
void ReadRtf(const QByteArray& rtf, QTextDocument& document);
// The same from a file; raises EFileError when it cannot be read.
void ReadRtfFile(const QString& file, QTextDocument& document);
