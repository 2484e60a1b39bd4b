#pragma once
// Pairwise tests hand a pair they do not know to the other object. The
// guard stops two classes that both hand over from calling each other
// forever: the second hand-over gives the default answer.
class TDeferGuard {
public:
    TDeferGuard() : first_(depth_ == 0) { ++depth_; }
    ~TDeferGuard() { --depth_; }
    TDeferGuard(const TDeferGuard&) = delete;
    TDeferGuard& operator=(const TDeferGuard&) = delete;
    bool First() const { return first_; }

private:
    static inline thread_local int depth_ = 0;
    bool first_;
};
