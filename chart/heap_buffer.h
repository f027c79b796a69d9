// Growable heap block holding every variable-length list of the plug-in (event list,
// visible list, state chunk, MIDI list storage, scaled-copy lists). No locking.
#pragma once

#include <cstddef>
#include <cstdint>

// Allocation entry points of HeapBuffer; tests swap them to fail allocations on purpose.
struct HeapAllocator {
    void* (*reallocate)(void* block, size_t bytes);
    void* (*allocate)(size_t bytes);
    void (*release)(void* block);
};
extern HeapAllocator g_heap_allocator;

struct HeapBuffer {
    void* data = nullptr;
    int32_t granularity = 4096;
    int32_t allocated = 0;
    int32_t size = 0;
    int32_t min_allocation = 0;

    HeapBuffer() = default;
    explicit HeapBuffer(int32_t step) : granularity(step) {}
    ~HeapBuffer();
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;

    // Sets the used size to n, keeping the first min(old size, n) bytes. When memory
    // cannot be had the buffer is left as it was. Returns the block, or null when the
    // used size is 0.
    void* resize(int32_t n, bool allow_shrink);

    // The block, or null when nothing is in use.
    void* bytes() const { return size > 0 ? data : nullptr; }

    // Records of type T stored back to back.
    template <typename T>
    T* records() const { return static_cast<T*>(bytes()); }
    template <typename T>
    int32_t count() const { return size / static_cast<int32_t>(sizeof(T)); }

    // Appends one record; false (and nothing stored) when the buffer cannot grow.
    template <typename T>
    bool append(const T& record) {
        const int32_t old = size;
        const int32_t want = old + static_cast<int32_t>(sizeof(T));
        resize(want, false);
        if (size != want) return false;
        static_cast<T*>(data)[old / static_cast<int32_t>(sizeof(T))] = record;
        return true;
    }
};

// On a buffer of pointers: inserts at index (clamped to 0..count) and returns ptr; the
// pointer is dropped when the buffer cannot grow.
void* insert_pointer(HeapBuffer& buffer, int32_t index, void* ptr);

// Bytes appended at the end and read from a read offset; holds the state chunk.
struct ByteQueue {
    HeapBuffer buffer;
    int32_t read_offset = 0;

    void append(uint8_t byte);
    // Start of the unread bytes, or null when there are none.
    const uint8_t* readable() const;
    int32_t readable_length() const { return buffer.size - read_offset; }
};
