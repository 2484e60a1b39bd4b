#pragma once
// The coordinate module's exception. Every error raised by coords/ is an
// ECoordinateError; the message says what was wrong and with which value.
#include <stdexcept>
#include <string>

class ECoordinateError : public std::runtime_error {
public:
    explicit ECoordinateError(const std::string& message) : std::runtime_error(message) {}
};
