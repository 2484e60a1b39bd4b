#pragma once
// The engine's exceptions. Every error the engine raises derives from
// EEngineError; callers that show errors catch that one class.
#include <stdexcept>
#include <string>

#include <QString>

class EEngineError : public std::runtime_error {
public:
    explicit EEngineError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
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
