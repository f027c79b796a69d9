#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "chart/heap_buffer.h"
#include "chart/midi_list.h"

namespace {

// Replaces the buffer's allocator for one test; counts calls and fails on request.
struct AllocatorScope {
    static int calls;
    static bool fail;
    static void* reallocate(void* p, size_t n) {
        ++calls;
        return fail ? nullptr : std::realloc(p, n);
    }
    static void* allocate(size_t n) {
        ++calls;
        return fail ? nullptr : std::malloc(n);
    }
    HeapAllocator saved;
    AllocatorScope() : saved(g_heap_allocator) {
        calls = 0;
        fail = false;
        g_heap_allocator = {&reallocate, &allocate, std::free};
    }
    ~AllocatorScope() { g_heap_allocator = saved; }
};
int AllocatorScope::calls = 0;
bool AllocatorScope::fail = false;

TEST(HeapBuffer, GrowthFollowsTheGranularityRule) {
    HeapBuffer page;  // 4096
    page.resize(10000, false);
    EXPECT_EQ(page.allocated, 12192);  // e 5000 -> 4096; (10000 + 4096 + 96) & ~4095 = 12288, - 96
    EXPECT_EQ(page.size, 10000);

    HeapBuffer fine(1024);
    fine.resize(100, false);
    EXPECT_EQ(fine.allocated, 1124);

    HeapBuffer big;
    big.resize(20000000, false);  // half the request is capped at 4 MiB of room
    EXPECT_EQ(big.allocated, ((20000000 + 0x400000 + 96) / 4096) * 4096 - 96);
}

TEST(HeapBuffer, SizeZeroKeepsTheBlockUnlessShrinkingPays) {
    HeapBuffer b;
    b.resize(5000, false);
    void* block = b.data;
    const int32_t allocated = b.allocated;
    EXPECT_EQ(b.resize(0, false), nullptr);
    EXPECT_EQ(b.bytes(), nullptr);
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(b.allocated, allocated);

    // Shrinking hands memory back only when far larger than needed.
    HeapBuffer s;
    s.resize(100000, false);
    const int32_t large = s.allocated;
    s.resize(90000, true);
    EXPECT_EQ(s.allocated, large);
    s.resize(1000, true);
    EXPECT_LT(s.allocated, large);
    EXPECT_EQ(s.size, 1000);
}

TEST(HeapBuffer, ContentsSurviveGrowthAndFailureLeavesTheBufferAlone) {
    AllocatorScope scope;
    HeapBuffer b;
    b.resize(64, false);
    std::memset(b.data, 0x5A, 64);
    b.resize(50000, false);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(static_cast<uint8_t*>(b.data)[i], 0x5A);

    void* block = b.data;
    const int32_t allocated = b.allocated;
    AllocatorScope::fail = true;
    EXPECT_EQ(b.resize(200000, false), block);
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(b.allocated, allocated);
    EXPECT_EQ(b.size, 50000);
    // Room that is already there is still used; an append past it is dropped.
    b.resize(allocated, false);
    EXPECT_EQ(b.size, allocated);
    EXPECT_FALSE(b.append(uint64_t{7}));
    EXPECT_EQ(b.size, allocated);
}

TEST(HeapBuffer, SizesBeyondThirtyTwoBitsFailInsteadOfWrapping) {
    AllocatorScope scope;
    HeapBuffer b;
    b.resize(100, false);
    const int32_t allocated = b.allocated;
    const int before = AllocatorScope::calls;
    b.resize(INT32_MAX - 10, false);
    EXPECT_EQ(AllocatorScope::calls, before);  // never asked for a wrapped size
    EXPECT_EQ(b.size, 100);
    EXPECT_EQ(b.allocated, allocated);
}

TEST(HeapBuffer, InsertPointerClampsTheIndex) {
    HeapBuffer list;
    int a, b, c, d;
    insert_pointer(list, 0, &a);
    insert_pointer(list, 0, &b);     // b a
    insert_pointer(list, -3, &c);    // c b a
    insert_pointer(list, 99, &d);    // c b a d
    ASSERT_EQ(list.size, 4 * 8);
    void** p = static_cast<void**>(list.data);
    EXPECT_EQ(p[0], &c);
    EXPECT_EQ(p[1], &b);
    EXPECT_EQ(p[2], &a);
    EXPECT_EQ(p[3], &d);
}

TEST(ByteQueue, AppendsAfterAFullReadStartOver) {
    ByteQueue q;
    EXPECT_EQ(q.readable(), nullptr);
    q.append(1);
    q.append(2);
    ASSERT_NE(q.readable(), nullptr);
    EXPECT_EQ(q.readable_length(), 2);
    q.read_offset = 2;  // everything read
    EXPECT_EQ(q.readable(), nullptr);
    q.append(9);
    EXPECT_EQ(q.read_offset, 0);
    EXPECT_EQ(q.readable_length(), 1);
    EXPECT_EQ(q.readable()[0], 9);
    q.read_offset = -1;
    EXPECT_EQ(q.readable(), nullptr);
}

struct Message {
    explicit Message(std::vector<uint8_t> b) : bytes(std::move(b)) {}
    std::vector<uint8_t> bytes;
    HostMidiEvent* event() {
        storage.assign(8 + bytes.size() + 4, 0);
        auto* e = reinterpret_cast<HostMidiEvent*>(storage.data());
        e->frame_offset = static_cast<int32_t>(bytes.size()) * 10;
        e->size = static_cast<int32_t>(bytes.size());
        std::memcpy(e->message, bytes.data(), bytes.size());
        return e;
    }
    std::vector<uint8_t> storage;
};

TEST(MidiList, RecordsArePackedWalkedAndDeleted) {
    midi_List list;
    EXPECT_EQ(list.storage.allocated, 2048);
    Message m3({0x90, 60, 100}), m1({0xF8}), m7({0xFF, 1, 4, 't', 'e', 'x', 't'});
    list.add_event(m3.event());
    list.add_event(m1.event());
    list.add_event(m7.event());
    EXPECT_EQ(list.byte_size(), 12 + 12 + 16);

    int p = 0;
    HostMidiEvent* e = list.enum_events(&p);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(p, 12);
    EXPECT_EQ(e->size, 3);
    EXPECT_EQ(e->frame_offset, 30);
    EXPECT_EQ(e->message[1], 60);
    ASSERT_NE(list.enum_events(&p), nullptr);
    EXPECT_EQ(p, 24);
    e = list.enum_events(&p);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(p, 40);
    EXPECT_EQ(std::memcmp(e->message + 3, "text", 4), 0);
    EXPECT_EQ(list.enum_events(&p), nullptr);
    p = -4;
    EXPECT_EQ(list.enum_events(&p), nullptr);

    list.delete_event(12);
    EXPECT_EQ(list.byte_size(), 28);
    p = 0;
    EXPECT_EQ(list.enum_events(&p)->size, 3);
    EXPECT_EQ(list.enum_events(&p)->size, 7);
    EXPECT_EQ(list.enum_events(&p), nullptr);
    list.delete_event(99);
    list.delete_event(-1);
    EXPECT_EQ(list.byte_size(), 28);

    void* block = list.storage.data;
    list.clear();
    EXPECT_EQ(list.byte_size(), 0);
    EXPECT_EQ(list.storage.data, block);
    p = 0;
    EXPECT_EQ(list.enum_events(&p), nullptr);
}

TEST(MidiList, BadRecordsAreDroppedOrEndTheWalk) {
    midi_List list;
    HostMidiEvent negative = {0, -5, {0, 0, 0, 0}};
    list.add_event(&negative);
    list.add_event(nullptr);
    EXPECT_EQ(list.byte_size(), 0);

    Message m({0x90, 61, 1});
    list.add_event(m.event());
    list.add_event(m.event());
    // A stored size that runs past the records ends the walk instead of reading beyond.
    int32_t huge = 1000;
    std::memcpy(static_cast<uint8_t*>(list.storage.data) + 12 + 4, &huge, 4);
    int p = 0;
    EXPECT_NE(list.enum_events(&p), nullptr);
    EXPECT_EQ(list.enum_events(&p), nullptr);
    list.delete_event(12);
    EXPECT_EQ(list.byte_size(), 24);
}

TEST(MidiList, ManyEventsGrowTheStorageAndKeepEveryByte) {
    midi_List list;
    for (int i = 0; i < 1000; ++i) {
        Message m({0x90, static_cast<uint8_t>(i & 0x7F), static_cast<uint8_t>(i % 100 + 1)});
        list.add_event(m.event());
    }
    EXPECT_EQ(list.byte_size(), 12000);
    int p = 0, n = 0;
    while (HostMidiEvent* e = list.enum_events(&p)) {
        ASSERT_EQ(e->message[1], n & 0x7F);
        ASSERT_EQ(e->message[2], n % 100 + 1);
        ++n;
    }
    EXPECT_EQ(n, 1000);
}

}  // namespace
