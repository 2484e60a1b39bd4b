#pragma once
// The database layer's one recoverable error: a table that cannot be found
// or opened, SQL the engine rejects, a value that does not fit its field, a
// write refused by a read-only table. Callers that restore their state on a
// database failure catch this class and no other.
#include <new>

#include "core/Errors.h"

class EDatabaseError : public EEngineError {
public:
    using EEngineError::EEngineError;
};

// The message of an allocation that failed inside the layer: "Memória
// insuficiente para " + what was being done (naming the table, the query).
inline QString OutOfMemoryMessage(const QString& doing) {
    return QStringLiteral("Memória insuficiente para ") + doing + QStringLiteral(".");
}

// Runs work; an allocation that fails inside it raises EDatabaseError with
// OutOfMemoryMessage(doing()), which the caller's clean-up of database
// errors then handles.
template <class Work, class Doing>
auto RaisingMemoryErrors(Work&& work, Doing&& doing) -> decltype(work()) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        throw EDatabaseError(OutOfMemoryMessage(doing()));
    }
}
