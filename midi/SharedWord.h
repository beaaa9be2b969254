#pragma once

#include <atomic>

namespace midi {

// A word shared between the MIDI thread and the main thread: every access is a
// relaxed atomic load or store, yet the word copies like a plain value, so a
// record of them can be backed up and restored as a whole.
template <typename T>
class SharedWord {
  public:
    constexpr SharedWord(T value = T{}) : value_(value) {}
    SharedWord(const SharedWord& other) : value_(other.load()) {}
    SharedWord& operator=(const SharedWord& other) {
        store(other.load());
        return *this;
    }
    SharedWord& operator=(T value) {
        store(value);
        return *this;
    }
    operator T() const { return load(); }

    T load() const { return value_.load(std::memory_order_relaxed); }
    void store(T value) { value_.store(value, std::memory_order_relaxed); }

  private:
    std::atomic<T> value_;
};

}  // namespace midi
