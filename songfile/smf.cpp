#include "songfile/smf.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

// Bounds-checked cursor over one chunk. Every read either succeeds inside the chunk or
// fails; nothing reads past `end`.
struct Cursor {
    const uint8_t* p;
    const uint8_t* end;

    size_t left() const { return static_cast<size_t>(end - p); }

    bool byte(uint8_t* out) {
        if (p >= end) return false;
        *out = *p++;
        return true;
    }

    // A variable-length number: at most four bytes of seven bits.
    bool vlq(uint32_t* out, bool* too_long) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!byte(&b)) return false;
            value = (value << 7) | (b & 0x7Fu);
            if (!(b & 0x80)) {
                *out = value;
                return true;
            }
        }
        *too_long = true;
        return false;
    }
};

uint32_t be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
uint16_t be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

void set_error(std::string* error, const char* format, long a = 0, long b = 0) {
    if (!error) return;
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    *error = text;
}

// Data bytes of a channel message by status high nibble.
int channel_data_bytes(uint8_t status) {
    const uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

struct TrackParse {
    SmfFile* file;
    int32_t index;
    std::string* error;
};

bool parse_track(const TrackParse& tp, Cursor c) {
    SmfTrack& track = tp.file->tracks.back();
    const long t = tp.index;
    int64_t tick = 0;
    uint8_t running = 0;  // last channel status; kept across meta and sysex events (lenient)
    bool named = false;

    while (c.left() > 0) {
        uint32_t delta;
        bool too_long = false;
        if (!c.vlq(&delta, &too_long)) {
            if (too_long)
                set_error(tp.error, "track %ld: delta time longer than four bytes", t);
            else
                set_error(tp.error, "track %ld: truncated delta time", t);
            return false;
        }
        tick += delta;

        uint8_t status;
        if (!c.byte(&status)) {
            set_error(tp.error, "track %ld: truncated event at tick %ld", t, long(tick));
            return false;
        }
        if (status < 0x80) {
            if (!running) {
                set_error(tp.error, "track %ld: data byte without a status at tick %ld", t,
                          long(tick));
                return false;
            }
            --c.p;  // running status: this byte is the first data byte
            status = running;
        }

        if (status < 0xF0) {
            running = status;
            const int n = channel_data_bytes(status);
            if (c.left() < static_cast<size_t>(n)) {
                set_error(tp.error, "track %ld: truncated channel message at tick %ld", t,
                          long(tick));
                return false;
            }
            // The message's length is known from its status, so a byte with the top bit set
            // in it is a data byte: some charts write note-offs with velocity 0xFF.
            SmfEvent e{tick, static_cast<uint32_t>(track.bytes.size()), static_cast<uint32_t>(1 + n)};
            track.bytes.push_back(status);
            for (int i = 0; i < n; ++i) track.bytes.push_back(c.p[i] & 0x80 ? 0x7F : c.p[i]);
            track.events.push_back(e);
            c.p += n;
            continue;
        }

        if (status == 0xF0 || status == 0xF7) {
            uint32_t length;
            if (!c.vlq(&length, &too_long) || c.left() < length) {
                set_error(tp.error, "track %ld: truncated system-exclusive event at tick %ld", t,
                          long(tick));
                return false;
            }
            // A system-exclusive message is handed over as a host does: F0 and its data (the
            // closing F7 included), without the file's length. Data bytes may have the top bit
            // set (0xFF is a common difficulty byte). Continuation packets (F7) and messages
            // beyond SMF_MAX_SYSEX_BYTES are skipped.
            if (status == 0xF0 && length + 1 <= SMF_MAX_SYSEX_BYTES) {
                SmfEvent e{tick, static_cast<uint32_t>(track.bytes.size()), length + 1};
                track.bytes.push_back(0xF0);
                track.bytes.insert(track.bytes.end(), c.p, c.p + length);
                track.events.push_back(e);
            }
            c.p += length;
            continue;
        }

        if (status != 0xFF) {
            set_error(tp.error, "track %ld: unexpected status byte 0x%lX", t, long(status));
            return false;
        }

        const uint8_t* meta_start = c.p - 1;
        uint8_t type;
        uint32_t length;
        if (!c.byte(&type) || !c.vlq(&length, &too_long) || c.left() < length) {
            set_error(tp.error, "track %ld: truncated meta event at tick %ld", t, long(tick));
            return false;
        }
        if (type & 0x80) {
            set_error(tp.error, "track %ld: bad meta event type 0x%lX", t, long(type));
            return false;
        }
        const uint8_t* data = c.p;
        c.p += length;

        if (type == 0x2F) return true;  // end of track; anything after it is ignored

        if (type == 0x51) {
            if (length != 3) {
                set_error(tp.error, "track %ld: tempo event of %ld bytes", t, long(length));
                return false;
            }
            const uint32_t us = (uint32_t(data[0]) << 16) | (uint32_t(data[1]) << 8) | data[2];
            if (us == 0) {
                set_error(tp.error, "track %ld: tempo of 0 microseconds per quarter note", t);
                return false;
            }
            tp.file->tempos.push_back(SmfTempo{tick, us});
        } else if (type == 0x58) {
            if (length < 2 || data[0] == 0 || data[1] > 6) {
                set_error(tp.error, "track %ld: bad time signature at tick %ld", t, long(tick));
                return false;
            }
            tp.file->signatures.push_back(SmfTimeSignature{tick, data[0], 1 << data[1]});
        } else if (type == 0x03 && !named) {
            track.name.assign(reinterpret_cast<const char*>(data), length);
            named = true;
        }

        const size_t whole = static_cast<size_t>(c.p - meta_start);
        SmfEvent e{tick, static_cast<uint32_t>(track.bytes.size()), static_cast<uint32_t>(whole)};
        track.bytes.insert(track.bytes.end(), meta_start, c.p);
        track.events.push_back(e);
    }
    return true;  // a chunk that ends without an end-of-track marker is accepted
}

}  // namespace

bool smf_parse(const uint8_t* data, size_t size, SmfFile* out, std::string* error) {
    if (!out) return false;
    *out = SmfFile{};
    if (!data || size < 14 || std::memcmp(data, "MThd", 4) != 0) {
        set_error(error, size >= 4 && data && std::memcmp(data, "MThd", 4) == 0
                             ? "truncated header"
                             : "not a Standard MIDI File (no MThd header)");
        return false;
    }
    const uint32_t header_length = be32(data + 4);
    if (header_length < 6 || header_length > size - 8) {
        set_error(error, "bad header length %ld", long(header_length));
        return false;
    }
    const int format = be16(data + 8);
    const int tracks = be16(data + 10);
    const int division = be16(data + 12);
    if (format > 1) {
        set_error(error, "format %ld files are not supported (only 0 and 1)", format);
        return false;
    }
    if (division & 0x8000) {
        set_error(error, "SMPTE time division is not supported");
        return false;
    }
    if (division == 0) {
        set_error(error, "time division of 0 ticks per quarter note");
        return false;
    }
    if (format == 0 && tracks != 1) {
        set_error(error, "format 0 file with %ld tracks", tracks);
        return false;
    }

    SmfFile file;
    file.format = format;
    file.division = division;
    file.tracks.reserve(static_cast<size_t>(tracks));

    size_t at = 8 + static_cast<size_t>(header_length);
    while (static_cast<int>(file.tracks.size()) < tracks) {
        if (size - at < 8) {
            set_error(error, "truncated file: %ld of %ld tracks found", long(file.tracks.size()),
                      tracks);
            return false;
        }
        const uint8_t* chunk = data + at;
        const uint32_t length = be32(chunk + 4);
        if (length > size - at - 8) {
            set_error(error, "truncated chunk at byte %ld", long(at));
            return false;
        }
        at += 8 + static_cast<size_t>(length);
        if (std::memcmp(chunk, "MTrk", 4) != 0) continue;  // unknown chunks are skipped

        file.tracks.emplace_back();
        TrackParse tp{&file, static_cast<int32_t>(file.tracks.size() - 1), error};
        if (!parse_track(tp, Cursor{chunk + 8, chunk + 8 + length})) return false;
    }

    std::stable_sort(file.tempos.begin(), file.tempos.end(),
                     [](const SmfTempo& a, const SmfTempo& b) { return a.tick < b.tick; });
    std::stable_sort(
        file.signatures.begin(), file.signatures.end(),
        [](const SmfTimeSignature& a, const SmfTimeSignature& b) { return a.tick < b.tick; });
    *out = std::move(file);
    return true;
}

bool smf_load(const char* path, SmfFile* out, std::string* error) {
    if (out) *out = SmfFile{};
    FILE* f = path ? platform_fopen_utf8(path, "rb") : nullptr;
    if (!f) {
        if (error) *error = std::string("cannot open ") + (path ? path : "(no file)");
        return false;
    }
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0)
        bytes.insert(bytes.end(), block, block + got);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        if (error) *error = std::string("cannot read ") + path;
        return false;
    }
    return smf_parse(bytes.data(), bytes.size(), out, error);
}

int32_t smf_first_chart_track(const SmfFile& file) {
    for (size_t t = 0; t < file.tracks.size(); ++t) {
        const SmfTrack& track = file.tracks[t];
        for (const SmfEvent& e : track.events) {
            const uint8_t* m = track.message(e);
            if (e.size == 3 && (m[0] & 0xF0) == 0x90 && m[1] >= 60 && m[2] > 0)
                return static_cast<int32_t>(t);
        }
    }
    return -1;
}

int32_t smf_find_track(const SmfFile& file, const char* name) {
    if (!name) return -1;
    for (size_t t = 0; t < file.tracks.size(); ++t)
        if (file.tracks[t].name == name) return static_cast<int32_t>(t);
    return -1;
}
