// A value one thread writes and another reads without a lock (the settings, the time
// offset, the editor handle). Loads and stores are whole and relaxed: on x86-64 they are
// the plain moves they would be anyway, and the memory model (and ThreadSanitizer) knows
// the sharing is intended.
#pragma once

#include <atomic>

template <typename T>
class SharedValue {
public:
    SharedValue(T v = T()) : value_(v) {}
    SharedValue(const SharedValue&) = delete;
    SharedValue& operator=(const SharedValue&) = delete;

    T get() const { return value_.load(std::memory_order_relaxed); }
    operator T() const { return get(); }
    SharedValue& operator=(T v) {
        value_.store(v, std::memory_order_relaxed);
        return *this;
    }
    // Read-modify-write by the one writing thread; not an atomic increment.
    SharedValue& operator+=(T v) { return *this = static_cast<T>(get() + v); }
    SharedValue& operator-=(T v) { return *this = static_cast<T>(get() - v); }

private:
    std::atomic<T> value_;
};

static_assert(sizeof(SharedValue<int>) == sizeof(int), "a shared value is the bare value");
