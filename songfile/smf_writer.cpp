#include "songfile/smf_writer.h"

#include <algorithm>
#include <cmath>

void smf_put_vlq(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value && n < 5);
    while (n-- > 0) out.push_back(static_cast<uint8_t>(groups[n] | (n ? 0x80 : 0)));
}

void SmfWriterTrack::raw(int64_t tick, std::vector<uint8_t> bytes) {
    events.push_back(SmfWriterEvent{tick, next_order++, std::move(bytes)});
}

void SmfWriterTrack::note_on(int64_t tick, int note, int velocity, int channel) {
    raw(tick, {static_cast<uint8_t>(0x90 | (channel & 15)), static_cast<uint8_t>(note & 127),
               static_cast<uint8_t>(velocity & 127)});
}

void SmfWriterTrack::note_off(int64_t tick, int note, int channel) {
    raw(tick, {static_cast<uint8_t>(0x80 | (channel & 15)), static_cast<uint8_t>(note & 127), 64});
}

void SmfWriterTrack::note(int64_t tick, int64_t length, int note, int velocity, int channel) {
    note_on(tick, note, velocity, channel);
    note_off(tick + length, note, channel);
}

void SmfWriterTrack::controller(int64_t tick, int number, int value, int channel) {
    raw(tick, {static_cast<uint8_t>(0xB0 | (channel & 15)), static_cast<uint8_t>(number & 127),
               static_cast<uint8_t>(value & 127)});
}

void SmfWriterTrack::meta(int64_t tick, int type, const std::string& data) {
    std::vector<uint8_t> b{0xFF, static_cast<uint8_t>(type & 0x7F)};
    smf_put_vlq(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    raw(tick, std::move(b));
}

void SmfWriterTrack::tempo_bpm(int64_t tick, double bpm) {
    const uint32_t us = static_cast<uint32_t>(std::lround(60000000.0 / bpm));
    raw(tick, {0xFF, 0x51, 0x03, static_cast<uint8_t>(us >> 16), static_cast<uint8_t>(us >> 8),
               static_cast<uint8_t>(us)});
}

void SmfWriterTrack::time_signature(int64_t tick, int numerator, int denominator) {
    uint8_t power = 0;
    while ((1 << power) < denominator && power < 6) ++power;
    raw(tick, {0xFF, 0x58, 0x04, static_cast<uint8_t>(numerator), power, 24, 8});
}

std::vector<uint8_t> SmfWriter::bytes() const {
    std::vector<uint8_t> out{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    const size_t n = tracks.size();
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(division >> 8));
    out.push_back(static_cast<uint8_t>(division));

    for (const SmfWriterTrack& track : tracks) {
        std::vector<const SmfWriterEvent*> sorted;
        for (const SmfWriterEvent& e : track.events) sorted.push_back(&e);
        std::sort(sorted.begin(), sorted.end(), [](const SmfWriterEvent* a, const SmfWriterEvent* b) {
            return a->tick != b->tick ? a->tick < b->tick : a->order < b->order;
        });
        std::vector<uint8_t> body;
        int64_t tick = 0;
        uint8_t running = 0;
        for (const SmfWriterEvent* e : sorted) {
            smf_put_vlq(body, static_cast<uint32_t>(std::max<int64_t>(e->tick - tick, 0)));
            tick = std::max(tick, e->tick);
            const std::vector<uint8_t>& b = e->bytes;
            if (b.empty()) continue;
            size_t from = 0;
            if (b[0] < 0xF0) {
                if (b[0] == running) from = 1;  // running status
                running = b[0];
            } else {
                running = 0;
            }
            body.insert(body.end(), b.begin() + static_cast<long>(from), b.end());
        }
        body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        const uint32_t len = static_cast<uint32_t>(body.size());
        out.push_back(static_cast<uint8_t>(len >> 24));
        out.push_back(static_cast<uint8_t>(len >> 16));
        out.push_back(static_cast<uint8_t>(len >> 8));
        out.push_back(static_cast<uint8_t>(len));
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}
