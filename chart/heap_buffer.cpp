#include "chart/heap_buffer.h"

#include <cstdlib>
#include <cstring>

HeapAllocator g_heap_allocator = {std::realloc, std::malloc, std::free};

HeapBuffer::~HeapBuffer() {
    if (data) g_heap_allocator.release(data);
}

void* HeapBuffer::resize(int32_t n, bool allow_shrink) {
    if (n == size) return bytes();
    if (n < 0) n = 0;
    const bool grow = n > allocated;
    const bool shrink = allow_shrink && n < size && n < allocated / 2 &&
                        n < allocated - 4 * granularity;
    if (!grow && !shrink) {
        size = n;
        return bytes();
    }
    // Half the request again as room (at least one granularity step), so appends
    // are amortised constant.
    int64_t extra = n / 2 > granularity ? n / 2 : granularity;
    int64_t target;
    if (granularity < 4096) {
        target = static_cast<int64_t>(n) + extra;
    } else {
        extra -= extra % 4096;
        if (extra < 4096) extra = 4096;
        if (extra > 0x400000) extra = 0x400000;
        target = ((static_cast<int64_t>(n) + extra + 96) / 4096) * 4096 - 96;
    }
    if (target < min_allocation) target = min_allocation;
    // A size the 32-bit fields cannot describe is treated as a failed allocation.
    if (target > INT32_MAX || target < n) return bytes();
    const int32_t alloc = static_cast<int32_t>(target);
    if (alloc == allocated) {
        size = n;
        return bytes();
    }
    void* block = g_heap_allocator.reallocate(data, static_cast<size_t>(alloc));
    if (!block && alloc != 0) {
        block = g_heap_allocator.allocate(static_cast<size_t>(alloc));
        if (!block) return bytes();
        const int32_t keep = size < n ? size : n;
        if (data) {
            if (keep > 0) std::memcpy(block, data, static_cast<size_t>(keep));
            g_heap_allocator.release(data);
        }
    }
    data = block;
    allocated = alloc;
    size = n;
    return bytes();
}

void* insert_pointer(HeapBuffer& buffer, int32_t index, void* ptr) {
    const int32_t old_count = buffer.size / 8;
    const int32_t want = (old_count + 1) * 8;
    buffer.resize(want, false);
    if (buffer.size != want) return ptr;
    if (index < 0) index = 0;
    if (index > old_count) index = old_count;
    void** slots = static_cast<void**>(buffer.data);
    std::memmove(slots + index + 1, slots + index,
                 static_cast<size_t>(old_count - index) * sizeof(void*));
    slots[index] = ptr;
    return ptr;
}

void ByteQueue::append(uint8_t byte) {
    if (read_offset >= buffer.size) {
        read_offset = 0;
        buffer.size = 0;
    }
    const int32_t at = buffer.size;
    buffer.resize(at + 1, false);
    if (buffer.size != at + 1) return;
    static_cast<uint8_t*>(buffer.data)[at] = byte;
}

const uint8_t* ByteQueue::readable() const {
    if (buffer.size == 0 || read_offset < 0 || read_offset >= buffer.size) return nullptr;
    return static_cast<const uint8_t*>(buffer.data) + read_offset;
}
