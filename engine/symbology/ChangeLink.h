#pragma once
// Change links: how a source of symbology or layers (a theme class, a
// theme class list, a layer, a layer list) tells its listeners (legends,
// layer panels, layer list boxes) that it changed or that it is going away.
//
// A listener asks the source for a link naming itself (any pointer that
// identifies it, usually `this`) and assigns the link's two callbacks. The
// source keeps its links in a TChangeLinks, which owns them.
#include <functional>
#include <memory>
#include <vector>

class TChangeLink {
public:
    using TCallback = std::function<void(TChangeLink& sender)>;

    explicit TChangeLink(const void* control) : control_(control) {}
    TChangeLink(const TChangeLink&) = delete;
    TChangeLink& operator=(const TChangeLink&) = delete;

    // The listening control; refers only.
    const void* Control() const { return control_; }

    TCallback OnChange;
    TCallback OnDisconnect;

    // Calls the change callback with the link as sender, when assigned.
    void Change() {
        if (OnChange) OnChange(*this);
    }
    // Calls the disconnect callback with the link as sender, when assigned.
    void Disconnect() {
        if (OnDisconnect) OnDisconnect(*this);
    }

private:
    const void* control_;
};

// The link list of one source; owns its links.
//
// - Add appends; Remove frees the first link of the control and raises
//   EEngineError ("List index out of bounds (-1)") when the control has none.
// - NotifyChange calls every link's change callback in list order. A
//   listener may add or remove links from inside its callback: removed
//   links are freed after the round, added ones are told from the next one.
// - DisconnectAll (run by the source's destructor, and by this list's own)
//   calls every link's disconnect callback in list order and frees the
//   links. A listener that calls Remove from inside its disconnect callback
//   does nothing harmful (the link goes anyway). Exceptions from callbacks
//   are never swallowed: from NotifyChange they reach the caller after the
//   links are put in order; a disconnect callback must not throw, since it
//   runs from a destructor (the program ends on std::terminate, visibly).
class TChangeLinks {
public:
    TChangeLinks() = default;
    TChangeLinks(const TChangeLinks&) = delete;
    TChangeLinks& operator=(const TChangeLinks&) = delete;
    ~TChangeLinks() { DisconnectAll(); }

    TChangeLink* Add(const void* control);
    void Remove(const void* control);
    void NotifyChange();
    void DisconnectAll() noexcept;

    int Count() const;
    // The link at an index among the live links (for tests and listeners).
    TChangeLink* Item(int index) const;

private:
    void Purge();
    std::vector<std::unique_ptr<TChangeLink>> links_;
    std::vector<bool> dead_;
    int notifying_ = 0;
    bool disconnecting_ = false;
};
