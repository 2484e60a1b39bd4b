#include "engine/symbology/ChangeLink.h"

#include "core/Errors.h"

TChangeLink* TChangeLinks::Add(const void* control) {
    links_.push_back(std::make_unique<TChangeLink>(control));
    dead_.push_back(false);
    return links_.back().get();
}

void TChangeLinks::Remove(const void* control) {
    if (disconnecting_) return;
    for (std::size_t i = 0; i < links_.size(); ++i) {
        if (dead_[i] || links_[i]->Control() != control) continue;
        if (notifying_ > 0) {
            // The link's callback may be running: free it after the round.
            dead_[i] = true;
        } else {
            links_.erase(links_.begin() + static_cast<std::ptrdiff_t>(i));
            dead_.erase(dead_.begin() + static_cast<std::ptrdiff_t>(i));
        }
        return;
    }
    throw EEngineError(QStringLiteral("List index out of bounds (-1)"));
}

void TChangeLinks::Purge() {
    for (std::size_t i = links_.size(); i-- > 0;) {
        if (!dead_[i]) continue;
        links_.erase(links_.begin() + static_cast<std::ptrdiff_t>(i));
        dead_.erase(dead_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void TChangeLinks::NotifyChange() {
    if (disconnecting_) return;
    struct Guard {
        TChangeLinks& l;
        ~Guard() {
            if (--l.notifying_ == 0) l.Purge();
        }
    };
    ++notifying_;
    Guard guard{*this};
    const std::size_t n = links_.size();  // links added meanwhile wait for the next round
    for (std::size_t i = 0; i < n; ++i) {
        if (!dead_[i]) links_[i]->Change();
    }
}

void TChangeLinks::DisconnectAll() noexcept {
    if (disconnecting_) return;
    disconnecting_ = true;
    // Links are told in list order; each is freed once told.
    for (std::size_t i = 0; i < links_.size(); ++i) {
        if (!dead_[i]) links_[i]->Disconnect();
        links_[i].reset();
    }
    links_.clear();
    dead_.clear();
    disconnecting_ = false;
}

int TChangeLinks::Count() const {
    int n = 0;
    for (bool d : dead_) n += d ? 0 : 1;
    return n;
}

TChangeLink* TChangeLinks::Item(int index) const {
    int n = 0;
    for (std::size_t i = 0; i < links_.size(); ++i) {
        if (dead_[i]) continue;
        if (n++ == index) return links_[i].get();
    }
    throw EEngineError(QStringLiteral("List index out of bounds (%1)").arg(index));
}
