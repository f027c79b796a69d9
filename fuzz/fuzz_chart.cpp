// libFuzzer target of the .chart reader and its conversion: any bytes are read without a
// fault, and what comes out keeps its promises: a one-line reason or a few one-line
// warnings; a tempo map from tick 0 in order; tracks whose events are in tick order inside
// their bytes, every note-on ended by a note-off of its number at least a tick later.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "songfile/chart_file.h"
#include "songfile/chart_song.h"

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

void check_line(const std::string& s) {
    check(!s.empty() && s.size() < 300);
    for (char c : s) check(c != '\n' && c != '\r');
}

void check_track(const SmfTrack& t) {
    int64_t last = 0;
    std::map<int, std::vector<int64_t>> open;
    for (const SmfEvent& e : t.events) {
        check(e.tick >= last);
        last = e.tick;
        check(e.size >= 1 && e.offset + static_cast<uint64_t>(e.size) <= t.bytes.size());
        const uint8_t* m = t.message(e);
        if (m[0] == 0xFF) continue;
        check(e.size == 3 && m[1] < 128 && m[2] < 128);
        if ((m[0] & 0xF0) == 0x90 && m[2] > 0) {
            open[m[1]].push_back(e.tick);
        } else {
            check((m[0] & 0xF0) == 0x80);
            check(!open[m[1]].empty() && e.tick > open[m[1]].front());
            open[m[1]].erase(open[m[1]].begin());
        }
    }
    for (const auto& o : open) check(o.second.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ChartFile chart;
    std::vector<std::string> warnings;
    std::string error;
    if (!chart_parse(data, size, &chart, &warnings, &error)) {
        check_line(error);
        check(warnings.size() <= 8);
        return 0;
    }
    check(warnings.size() <= 5);
    for (const std::string& w : warnings) check_line(w);
    check(chart.resolution >= 1 && chart.resolution <= 32767);
    check(!chart.tempos.empty() && chart.tempos[0].tick == 0);
    check(!chart.signatures.empty() && chart.signatures[0].tick == 0);
    for (size_t i = 0; i < chart.tempos.size(); ++i) {
        check(chart.tempos[i].us_per_quarter >= 1 && chart.tempos[i].us_per_quarter <= 0xFFFFFF);
        check(i == 0 || chart.tempos[i].tick > chart.tempos[i - 1].tick);
    }
    for (const SmfTimeSignature& s : chart.signatures)
        check(s.numerator >= 1 && s.numerator <= 255 && s.denominator >= 1 && s.denominator <= 64);

    // The ini's choices: the chart's own, and every kind of drums with a threshold.
    SongIni ini;
    ChartConversion c = chart_conversion(chart, ini);
    check(c.hopo_threshold >= 0);
    const SmfFile song = chart_to_smf(chart, c);
    check(song.division == chart.resolution);
    for (const SmfTrack& t : song.tracks) check_track(t);
    const int32_t shown = size ? data[0] % 4 : 0;
    ini.has_hopo_frequency = true;
    ini.hopo_frequency = size > 1 ? data[1] : 1;
    for (ChartDrums kind : {ChartDrums::FOUR_LANE, ChartDrums::PRO, ChartDrums::FIVE_LANE}) {
        c = chart_conversion(chart, ini);
        c.drums = kind;
        for (int32_t i = 0; i < CHART_INSTRUMENTS; ++i) {
            const SmfTrack t = chart_instrument_track(chart, i, c, shown);
            check(t.name == chart_track_name(i));
            check_track(t);
        }
    }
    return 0;
}
