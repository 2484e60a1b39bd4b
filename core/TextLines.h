#pragma once
// Text lines of the engine's formats: CP1252 bytes ended by CR LF.
#include <QString>
#include <QStringView>

class TStream;

// Writes the text as CP1252 bytes, then CR LF. A CR or LF inside the text
// is written as a blank, so that no value can break the line structure.
void StreamWriteLine(TStream& stream, QStringView text);

// Reads up to CR, drops the byte after it (the LF, not examined) and
// returns the text trimmed of characters of code 32 or less. At the end of
// the stream the line ends: what was read is returned, trimmed (empty at
// the very end).
QString StreamReadLine(TStream& stream);
// The same into a buffer that is reused from line to line.
void StreamReadLine(TStream& stream, QString& line);

// Like StreamReadLine, but a line must be there: at the end of the stream
// it raises EReadError.
QString StreamReadRequiredLine(TStream& stream);

// Reads a line up to CR without trimming it (the byte after the CR is
// dropped); raises EReadError at the end of the stream.
QString StreamReadRawLine(TStream& stream);

// Reads lines until one equals marker (trimmed, without regard to case).
// Raises EReadError naming the marker when the stream ends first.
void StreamSkipToLine(TStream& stream, QStringView marker);

// Reads one line that must equal marker (without regard to case); raises
// EFormatError naming both otherwise.
void StreamExpectLine(TStream& stream, QStringView marker);

// The text after the first "="; the whole line when it holds none.
QString LineValueAfterEquals(const QString& line);
// Reads a key line and returns its value.
QString StreamReadValue(TStream& stream);
// The key of a key line (the text before the first "=", trimmed); empty
// when the line holds no "=".
QString LineKey(const QString& line);
