#pragma once
// TRingBuf: a fixed-capacity queue that holds the received bytes not yet consumed by the
// frame interpreter. No lock, no virtual operations, one allocation at construction.

#include <algorithm>
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
  // Returns the room left, Capacity - Count. (As Push one by one would, in at most two
  // copies.)
  std::uint32_t Write(const T* data, std::uint32_t length) {
    const std::uint32_t n = std::min(length, Capacity - static_cast<std::uint32_t>(Count));
    const auto start = static_cast<std::uint32_t>(Wrap(std::int64_t{Tail} + 1));
    const std::uint32_t first = std::min(n, Capacity - start);
    std::copy(data, data + first, Storage.get() + start);
    std::copy(data + first, data + n, Storage.get());
    if (n > 0) Tail = Wrap(std::int64_t{Tail} + n);
    Count += static_cast<std::int32_t>(n);
    return Capacity - static_cast<std::uint32_t>(Count);
  }

  // Removes the elements before the first one equal to `value` (all of them when there is
  // none) and returns how many it removed: what Pop() while Peek(0) != value does, in at
  // most two scans.
  std::int32_t DropUntil(T value) {
    if (Count <= 0) return 0;
    const auto head = static_cast<std::uint32_t>(Head);
    const std::uint32_t count = static_cast<std::uint32_t>(Count);
    const std::uint32_t first = std::min(count, Capacity - head);
    const T* begin = Storage.get();
    std::uint32_t n = static_cast<std::uint32_t>(
        std::find(begin + head, begin + head + first, value) - (begin + head));
    if (n == first && first < count)
      n += static_cast<std::uint32_t>(std::find(begin, begin + (count - first), value) - begin);
    Head = Wrap(std::int64_t{Head} + n);
    Count -= static_cast<std::int32_t>(n);
    return static_cast<std::int32_t>(n);
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
