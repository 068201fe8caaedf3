#pragma once
// TRingBuf: a fixed-capacity queue that holds the received bytes not yet consumed by the
// frame interpreter. No lock, no virtual operations, one allocation at construction.

#include <cstdint>
#include <memory>
#include <stdexcept>

namespace velqor {

template <typename T>
class TRingBuf {
 public:
  explicit TRingBuf(std::uint32_t capacity)
      : Storage(std::make_unique<T[]>(capacity)), Tail(0), Head(1), Count(0), Capacity(capacity) {
    if (capacity == 0) throw std::invalid_argument("TRingBuf needs a capacity above 0");
  }

  TRingBuf(const TRingBuf&) = delete;
  TRingBuf& operator=(const TRingBuf&) = delete;

  std::int32_t GetCount() const { return Count; }
  std::uint32_t GetCapacity() const { return Capacity; }
  std::int32_t GetHead() const { return Head; }
  std::int32_t GetTail() const { return Tail; }

  // The element `offset` places after the head, without removing it. Only an offset below
  // Count names a held element: with Count == offset the position read holds no element of
  // the stream yet (callers never act on it), and with Count < offset the result is 0.
  T Peek(std::int32_t offset) const {
    if (Count < offset) return T{0};
    return Storage[Wrap(Head + offset)];
  }

  // Removes and returns the head element; on an empty buffer returns all bits set and
  // leaves Count at 0.
  T Pop() {
    if (Count <= 0) {
      Count = 0;
      return static_cast<T>(~T{0});
    }
    const T value = Storage[Wrap(Head)];
    Head = Wrap(Head + 1);
    --Count;
    return value;
  }

  // Appends one element. Does not check for room: callers do.
  void Push(T value) {
    Tail = Wrap(Tail + 1);
    Storage[Tail] = value;
    ++Count;
  }

  // Appends elements in order and stops when the buffer is full; the rest are dropped.
  // Returns the room left, Capacity - Count.
  std::uint32_t Write(const T* data, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
      if (static_cast<std::uint32_t>(Count) >= Capacity) break;
      Push(data[i]);
    }
    return Capacity - static_cast<std::uint32_t>(Count);
  }

 private:
  // Index modulo Capacity. Every index the buffer forms itself lies below twice the
  // capacity, so one subtraction does; the division is only for odd offsets.
  std::int32_t Wrap(std::int64_t index) const {
    const auto cap = static_cast<std::int64_t>(Capacity);
    if (index >= 0 && index < 2 * cap)
      return static_cast<std::int32_t>(index < cap ? index : index - cap);
    const std::int64_t r = index % cap;
    return static_cast<std::int32_t>(r < 0 ? r + cap : r);
  }

  // Fields in the order the type has always had them.
  std::unique_ptr<T[]> Storage;
  std::int32_t Tail;  // index of the last element written
  std::int32_t Head;  // index of the next element to read
  std::int32_t Count;
  std::uint32_t Capacity;
};

}  // namespace velqor
