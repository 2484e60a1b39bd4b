#pragma once
// The engine's exceptions. Every error the engine raises derives from
// EEngineError, which stands beside the coordinate module's ECoordinateError
// under the program's one root, EKoviError (coords/CoordsError.h). Callers
// that show any failure catch EKoviError and show ErrorMessage.
#include <stdexcept>
#include <string>

#include <QString>

#include "coords/CoordsError.h"

class EEngineError : public EKoviError {
public:
    explicit EEngineError(const QString& message) : EKoviError(message.toStdString()), message_(message) {}
    // The message as the user reads it.
    const QString& Message() const noexcept { return message_; }

private:
    QString message_;
};

// An operation the user cancelled: it unwinds without a message. Code that
// turns errors into reports lets this one pass.
class EAbort : public EEngineError {
public:
    EAbort() : EEngineError(QStringLiteral("Abort")) {}
};

// A stream could not be read or written (short read, end of stream, I/O failure).
class EStreamError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// The stream ended where more data was expected.
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A file could not be created, opened, replaced or removed.
class EFileError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// A text could not be turned into a value ("'x' is not a valid integer value").
class EConvertError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// A stored file holds something no writer produces (bad code, bad count,
// unknown record class, missing end marker).
class EFormatError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// The message of any of the program's errors, as the user reads it.
inline QString ErrorMessage(const EKoviError& error) { return QString::fromUtf8(error.what()); }
