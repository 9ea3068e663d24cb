#pragma once

// Work handed from one thread to another through Qt (a queued call, a QThread's end) is ordered
// by Qt's own locks, which ThreadSanitizer cannot see when Qt is built without it. These marks
// tell it where such a hand-over happens. Without ThreadSanitizer they compile to nothing.

#if defined(__SANITIZE_THREAD__)
#define TSUBAME_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TSUBAME_THREAD_SANITIZER 1
#endif
#endif

#ifdef TSUBAME_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif
#include <utility>

namespace tsubame {

// What one thread wrote before handOff() is seen by another thread after its takeOver() of the
// same mark.
class HandOffMark {
  public:
#ifdef TSUBAME_THREAD_SANITIZER
    void handOff() const { __tsan_release(key()); }
    void takeOver() const { __tsan_acquire(key()); }

  private:
    void* key() const { return const_cast<HandOffMark*>(this); }
#else
    void handOff() const {}
    void takeOver() const {}
#endif
};

// Hands off when the scope it is declared in ends: after the locals declared below it are gone.
class HandOffAtExit {
  public:
    explicit HandOffAtExit(const HandOffMark& mark) : mark_(mark) {}
    HandOffAtExit(const HandOffAtExit&) = delete;
    HandOffAtExit& operator=(const HandOffAtExit&) = delete;
    ~HandOffAtExit() { mark_.handOff(); }

  private:
    const HandOffMark& mark_;
};

#ifdef TSUBAME_THREAD_SANITIZER
// A call that is run on another thread: the poster's writes, the call's own copy among them,
// come before the call runs; what the call wrote comes before back's takeOver(), and before the
// call is destroyed, on whichever thread that is. The mark is the call's own member, found
// without reading anything the poster wrote.
template <class Call>
class HandedOverCall {
  public:
    HandedOverCall(Call call, const HandOffMark* back) : call_(std::move(call)), back_(back) {
        mark_.handOff();
    }
    // Each copy is made by the poster; the last one is the one that runs, in place.
    HandedOverCall(const HandedOverCall& other) : call_(other.call_), back_(other.back_) {
        mark_.handOff();
    }
    HandedOverCall(HandedOverCall&& other) : call_(std::move(other.call_)), back_(other.back_) {
        mark_.handOff();
    }
    ~HandedOverCall() { mark_.takeOver(); }

    void operator()() {
        mark_.takeOver();
        call_();
        const HandOffMark* back = back_;
        mark_.handOff();
        if (back) back->handOff();
    }

  private:
    Call call_;
    const HandOffMark* back_;
    HandOffMark mark_;
};

template <class Call>
HandedOverCall<Call> handedOver(Call call, const HandOffMark* back = nullptr) {
    return HandedOverCall<Call>(std::move(call), back);
}
#else
template <class Call>
Call handedOver(Call call, const HandOffMark* = nullptr) {
    return call;
}
#endif

}  // namespace tsubame
