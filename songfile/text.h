// Text of the song files: UTF-8 checks, names made safe to print, the small string and
// number helpers their readers share, and a chart file's bytes decoded to UTF-8 whatever
// encoding it was written in. Used by the song.ini, song folder and .chart readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Whether `s` is well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool valid_utf8(const std::string& s);

// A name as shown on a terminal and written into a file's metadata: control characters
// (C0, DEL and, in valid UTF-8, C1) become spaces, so a song file cannot send escape
// sequences through the tool.
std::string printable_text(const std::string& s);

// A value quoted in a warning: printable, at most 40 bytes and "...", in single quotes.
std::string quoted_text(const std::string& s);

// Blanks are spaces, tabs, vertical tabs and form feeds; trim_blanks cuts them from both ends.
bool is_blank(char c);
std::string trim_blanks(const std::string& s);
// A-Z made a-z, other bytes kept.
std::string lower_ascii(std::string s);

// A decimal number such as -12, 170 or 0.5 (no exponent, no hex, no spaces inside, at
// most 30 digits); false for anything else.
bool parse_decimal(const std::string& text, double* out);

// The text of a file as UTF-8: after a byte-order mark as UTF-8, UTF-16 LE or UTF-16 BE
// (an unpaired surrogate or a last odd byte becomes U+FFFD); without one as UTF-8 when the
// bytes are valid UTF-8, else as Latin-1.
std::string decode_to_utf8(const uint8_t* data, size_t size);
