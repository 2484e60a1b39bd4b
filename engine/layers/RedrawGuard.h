#pragma once
// Values that drawing reads, and the guard they change through.
//
// The layer list may paint its layers on the redraw threads (RedrawThreads.h)
// while this thread goes on; those threads read the layers, their objects and
// some values of the view. Nothing they read may change meanwhile. A value
// that drawing reads is kept in a TDrawn: it has no assignment, only Set and
// Change, which first have the value's guard (the layer or the view that
// holds it) stop a redraw that may read it and wait for it. A setter cannot
// forget the stop, and one that writes the value already held stops nothing.
//
// Debug builds check, at each change, that no redraw that may read the value
// is left running.
#include <cassert>
#include <utility>

class TRedrawGuard {
protected:
    ~TRedrawGuard() = default;

    // Stops a threaded redraw that may read the guarded values and waits for
    // it; a redraw stopped before its end is asked for again. Nothing on a
    // redraw thread itself.
    virtual void StopRedraw() = 0;
    // No redraw that may read the guarded values runs on another thread.
    virtual bool RedrawStopped() const = 0;
    // StopRedraw, then (debug builds) the check.
    void StopAndCheck() {
        StopRedraw();
        assert(RedrawStopped() && "a redraw still reads a value being changed");
    }

    template <typename>
    friend class TDrawn;
};

template <typename T>
class TDrawn {
public:
    TDrawn() = default;
    explicit TDrawn(T value) : value_(std::move(value)) {}
    TDrawn(const TDrawn&) = delete;
    TDrawn& operator=(const TDrawn&) = delete;

    const T& Get() const { return value_; }
    operator const T&() const { return value_; }

    // Stores the value, stopping the guard's redraw first; nothing when it
    // equals the value held. True when it changed.
    bool Set(TRedrawGuard& guard, T value) {
        if (value_ == value) return false;
        guard.StopAndCheck();
        value_ = std::move(value);
        return true;
    }
    // The value, to be changed in place once the guard's redraw has stopped.
    T& Change(TRedrawGuard& guard) {
        guard.StopAndCheck();
        return value_;
    }

private:
    T value_{};
};
