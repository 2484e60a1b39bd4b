#pragma once
// The root of every error the program raises, and the coordinate module's
// own. The root lives here, in the lowest module, so that the module stays
// free of Qt and still raises what the engine's handlers catch: the
// engine's errors (EEngineError, core/Errors.h) derive from it too.
// A handler that reports any failure catches EKoviError; what() is the
// message in UTF-8.
#include <stdexcept>
#include <string>

class EKoviError : public std::runtime_error {
public:
    explicit EKoviError(const std::string& message) : std::runtime_error(message) {}
};

// Every error raised by coords/ is an ECoordinateError; the message says
// what was wrong and with which value.
class ECoordinateError : public EKoviError {
public:
    explicit ECoordinateError(const std::string& message) : EKoviError(message) {}
};
