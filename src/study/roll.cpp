#include "study/roll.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "output/output_file.h"
#include "output/time_text.h"
#include "song/call_rate.h"
#include "study/chip.h"
#include "study/midi.h"
#include "study/pitch.h"

namespace {

// Every length is in tenths of a pixel, so that the file is made of integers
// alone and comes out the same on every system.
constexpr int kLeft = 600, kRight = 200, kTop = 700, kAxis = 320;
constexpr int kRow = 60;            // a semitone
constexpr int kPercussionRow = 80;  // a voice in the percussion lane
constexpr int kSecond = 600;        // a second, unless the run is int64_t
constexpr int kMinPlot = 6000;      // a short run is drawn wider, up to
constexpr int kMaxCall = 200;       // this much a call,
constexpr int kMaxPlot = 120000;    // and a long one narrower
constexpr int kMinWidth = 7000;     // room for the title and the legend

const char* const kColours[kMaxVoices] = {"#d62728", "#1f77b4", "#2ca02c", "#ff7f0e", "#9467bd",
                                          "#8c564b", "#e377c2", "#17becf", "#bcbd22"};

// A length in pixels, "12.3" or "12".
char* putPixels(char* at, int64_t tenths) {
    if (tenths < 0) {
        *at++ = '-';
        tenths = -tenths;
    }
    at = putDecimal(at, static_cast<uint32_t>(tenths / 10), 1);
    if (tenths % 10 != 0) {
        *at++ = '.';
        *at++ = static_cast<char>('0' + tenths % 10);
    }
    return at;
}

std::string px(int64_t tenths) {
    char text[24];
    return std::string(text, putPixels(text, tenths));
}

// `opacity` in tenths; 10 (opaque) writes none.
std::string rect(int64_t x, int64_t y, int64_t width, int64_t height, int opacity = 10) {
    char text[128];
    char* at = text;
    const auto put = [&at](const char* part, int64_t tenths) {
        const size_t size = std::strlen(part);
        std::memcpy(at, part, size);
        at = putPixels(at + size, tenths);
    };
    put("<rect x=\"", x);
    put("\" y=\"", y);
    put("\" width=\"", width);
    put("\" height=\"", height);
    if (opacity < 10) {
        std::memcpy(at, "\" fill-opacity=\"0.", 18);
        at += 18;
        *at++ = static_cast<char>('0' + opacity);
    }
    std::memcpy(at, "\"/>", 3);
    return std::string(text, at + 3);
}

std::string text(int64_t x, int64_t y, const std::string& content, const char* more = "") {
    return "<text x=\"" + px(x) + "\" y=\"" + px(y) + "\"" + more + ">" + content + "</text>\n";
}

std::string noteName(int key) {
    char buffer[8];
    return std::string(buffer, putNoteName(buffer, key));
}

}  // namespace

std::string xmlText(const std::string& bytes) {
    std::string out;
    for (const char c : utf8FromLatin1(bytes)) {
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// The pitch a bent note's line goes through: lowest and highest, in
// thousandths of a key from its key; whether it moves at all (by more than
// 5 cents).
struct BendSpan {
    int32_t low, high;
    bool moves() const { return high - low > 50; }
};

BendSpan bendSpan(const Note& n, const std::vector<int32_t>& bends) {
    BendSpan span{0, 0};
    if (n.kind != NoteKind::Pitched) return span;
    const auto first = bends.begin() + n.bends;
    const auto [low, high] = std::minmax_element(first, first + (n.last - n.first + 1));
    return {*low, *high};
}

// A thin line through the note's pitch, call by call, at the middle of each
// call's column, added to `svg`.
void addBendLine(std::string& svg, const Note& n, const std::vector<int32_t>& bends, int64_t x,
                 int64_t callWidth, int64_t keyMiddle) {
    const auto yOf = [&](uint32_t c) {
        return keyMiddle - int64_t{bends[n.bends + c]} * kRow / 1000;
    };
    char step[48];
    const auto put = [&](char command, int64_t a, const int64_t* b) {
        char* at = step;
        *at++ = command;
        at = putPixels(at, a);
        if (b != nullptr) {
            *at++ = ' ';
            at = putPixels(at, *b);
        }
        svg.append(step, at);
    };
    svg += "<path d=\"";
    int64_t y = yOf(0), across = 0;
    put('M', x + callWidth / 2, &y);
    for (uint32_t c = 1; c <= n.last - n.first; ++c) {
        across += callWidth;
        const int64_t next = yOf(c);
        if (next == y) continue;
        const int64_t rise = next - y;
        put('l', across, &rise);
        across = 0;
        y = next;
    }
    if (across > 0) put('h', across, nullptr);
    svg += "\"/>\n";
}

}  // namespace

namespace {

// Where everything of the picture goes, in tenths of a pixel.
struct Layout {
    int low, high;  // the keys drawn
    bool voiceSeen[kMaxVoices];
    int percussionRow[kMaxVoices];  // the voice's row in the drum lane, -1: none
    int percussionRows;
    int64_t callWidth, plotWidth, plotHeight, laneTop, laneHeight, width, height;
    int64_t rowTop(int key) const { return kTop + (high - key) * int64_t{kRow}; }
};

// The keys in use, bends included, one row more on either side; the voices
// seen; a call's width from the first call rate, the run kept between the
// plot's smallest and largest width.
Layout layoutOf(const StudyInfo& info, const std::vector<Note>& notes,
                const std::vector<int32_t>& bends, uint32_t firstPeriod) {
    Layout l{};
    l.low = 128;
    l.high = -1;
    bool percussionOf[kMaxVoices] = {};
    for (const Note& n : notes) {
        l.voiceSeen[n.voice] = true;
        if (n.kind == NoteKind::Drum) {
            percussionOf[n.voice] = true;
        } else {
            const BendSpan span = bendSpan(n, bends);
            l.low = std::min(l.low, std::max(0, n.key + (span.low - 500) / 1000));
            l.high = std::max(l.high, std::min(127, n.key + (span.high + 500) / 1000));
        }
    }
    if (l.high < 0) l.low = 60, l.high = 72;
    l.low = std::max(0, l.low - 1);
    l.high = std::min(127, l.high + 1);
    for (int v = 0; v < kMaxVoices; ++v)
        l.percussionRow[v] = percussionOf[v] ? l.percussionRows++ : -1;

    const int64_t columns = int64_t{info.calls} + 1;
    l.callWidth = std::max<int64_t>(
        1, static_cast<int64_t>((uint64_t{kSecond} * firstPeriod * 2 / info.clock + 1) / 2));
    if (columns * l.callWidth < kMinPlot)
        l.callWidth = std::min<int64_t>(kMaxCall, kMinPlot / columns);
    if (columns * l.callWidth > kMaxPlot) l.callWidth = std::max(int64_t{1}, kMaxPlot / columns);
    l.plotWidth = columns * l.callWidth;
    l.plotHeight = (l.high - l.low + 1) * int64_t{kRow};
    l.laneTop = kTop + l.plotHeight + (l.percussionRows > 0 ? 160 : 0);
    l.laneHeight = l.percussionRows * int64_t{kPercussionRow};
    l.width = std::max<int64_t>(kMinWidth, kLeft + l.plotWidth + kRight);
    l.height = l.laneTop + l.laneHeight + kAxis;
    return l;
}

// The document's head, the title lines and the legend of the voices that play.
std::string headOf(const StudyInfo& info, const Layout& l) {
    const std::string song = "song " + std::to_string(info.song) +
                             (info.songs >= 1 ? " of " + std::to_string(info.songs) : "");
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + px(l.width) + "\" height=\"" +
           px(l.height) + "\" viewBox=\"0 0 " + px(l.width) + " " + px(l.height) +
           "\" font-family=\"sans-serif\" font-size=\"11\">\n";
    svg +=
        "<title>" + xmlText(info.name) + " - " + xmlText(info.author) + " - " + song + "</title>\n";
    svg += "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
    svg += text(100, 240, xmlText(info.name), " font-size=\"16\" font-weight=\"bold\"");
    svg += text(100, 420,
                xmlText(info.author) + " - " + song + " - " + std::to_string(info.calls) +
                    " play calls, " + (info.ntsc ? "NTSC" : "PAL"));
    int64_t legendX = 100;
    for (int v = 0; v < kMaxVoices; ++v) {
        if (!l.voiceSeen[v]) continue;
        svg += "<g fill=\"" + std::string(kColours[v]) + "\">" + rect(legendX, 510, 100, 100) +
               "</g>\n";
        svg += text(legendX + 140, 600, "voice " + std::to_string(v + 1));
        legendX += 700;
    }
    return svg;
}

// Rows: the black keys shaded, a labelled line under each C; the frames of
// the plot and of the drum lane.
std::string keyboardOf(const Layout& l) {
    std::string svg = "<g fill=\"#f0f0f0\">";
    for (int key = l.low; key <= l.high; ++key) {
        const int inOctave = key % 12;
        if (inOctave == 1 || inOctave == 3 || inOctave == 6 || inOctave == 8 || inOctave == 10)
            svg += rect(kLeft, l.rowTop(key), l.plotWidth, kRow);
    }
    svg += "</g>\n<g stroke=\"#a0a0a0\" stroke-width=\"1\">";
    for (int key = l.low; key <= l.high; ++key) {
        if (key % 12 != 0) continue;
        const std::string y = px(l.rowTop(key) + kRow);
        svg += "<line x1=\"" + px(kLeft) + "\" y1=\"" + y + "\" x2=\"" + px(kLeft + l.plotWidth) +
               "\" y2=\"" + y + "\"/>";
    }
    svg += "</g>\n<g text-anchor=\"end\">\n";
    for (int key = l.low; key <= l.high; ++key) {
        if (key % 12 == 0) svg += text(kLeft - 60, l.rowTop(key) + kRow, noteName(key));
    }
    if (l.percussionRows > 0) svg += text(kLeft - 60, l.laneTop + l.laneHeight - 10, "noise");
    svg += "</g>\n";
    svg += "<rect x=\"" + px(kLeft) + "\" y=\"" + px(kTop) + "\" width=\"" + px(l.plotWidth) +
           "\" height=\"" + px(l.plotHeight) + "\" fill=\"none\" stroke=\"#808080\"/>\n";
    if (l.percussionRows > 0) {
        svg += "<rect x=\"" + px(kLeft) + "\" y=\"" + px(l.laneTop) + "\" width=\"" +
               px(l.plotWidth) + "\" height=\"" + px(l.laneHeight) +
               "\" fill=\"#f8f8f8\" stroke=\"#808080\"/>\n";
    }
    return svg;
}

// The time axis: a tick each second where the call rate puts it, labels far
// enough apart.
std::string timeAxisOf(const StudyInfo& info, const Layout& l, const CallRate& rate,
                       uint32_t firstPeriod) {
    const int64_t second = l.callWidth * info.clock / firstPeriod;
    const auto secondAt = [&](uint32_t s) {
        return kLeft + static_cast<int64_t>(rate.position(uint64_t{s} * info.clock,
                                                          static_cast<uint32_t>(l.callWidth)));
    };
    const uint32_t seconds = static_cast<uint32_t>(rate.start(info.calls + 1) / info.clock);
    uint32_t every = 1;
    for (uint32_t step : {1u, 2u, 5u, 10u, 15u, 30u, 60u, 120u, 300u, 600u, 1200u, 3000u}) {
        every = step;
        if (step * second >= 500) break;
    }
    const int64_t axisY = l.laneTop + l.laneHeight;
    std::string svg = "<path stroke=\"#808080\" d=\"";
    for (uint32_t s = 0; s <= seconds; ++s) {
        if (second >= 40 || s % every == 0) {
            svg += 'M';
            svg += px(secondAt(s));
            svg += ' ';
            svg += px(axisY);
            svg += 'v';
            svg += px(s % every == 0 ? 60 : 30);
        }
    }
    svg += "\"/>\n<g text-anchor=\"middle\">\n";
    for (uint32_t s = 0; s <= seconds; s += every)
        svg += text(secondAt(s), axisY + 180, minutesAndSeconds(s));
    svg += "</g>\n";
    return svg;
}

// The notes, a group per voice: bars, then the lines of bent notes.
std::string notesOf(const std::vector<Note>& notes, const std::vector<int32_t>& bends,
                    const Layout& l) {
    std::string svg;
    for (int v = 0; v < kMaxVoices; ++v) {
        if (!l.voiceSeen[v]) continue;
        svg += "<g id=\"voice" + std::to_string(v + 1) + "\" fill=\"" + kColours[v] + "\">\n";
        std::string lines;
        for (const Note& n : notes) {
            if (n.voice != v) continue;
            // A quieter note is lighter: opacity 0.2 to 1 by its velocity.
            const int opacity = 2 + (8 * velocityOf(n.loudness) + 63) / 127;
            const int64_t x = kLeft + n.first * l.callWidth;
            const int64_t w = (int64_t{n.end} - n.first + 1) * l.callWidth;
            if (n.kind == NoteKind::Drum) {
                svg += rect(x, l.laneTop + l.percussionRow[v] * int64_t{kPercussionRow} + 10, w,
                            kPercussionRow - 20, opacity) +
                       "\n";
                continue;
            }
            svg += rect(x, l.rowTop(n.key) + 5, w, kRow - 10, opacity) + "\n";
            if (bendSpan(n, bends).moves())
                addBendLine(lines, n, bends, x, l.callWidth, l.rowTop(n.key) + kRow / 2);
        }
        svg += "</g>\n";
        if (!lines.empty())
            svg += "<g fill=\"none\" stroke=\"#202020\" stroke-width=\"1\">\n" + lines + "</g>\n";
    }
    return svg;
}

// The song's loop and end, when its length is known: a dashed line across
// the plot at the loop's first call and after the song's last, labelled.
std::string songMarksOf(const StudyInfo& info, const Layout& l) {
    if (info.loopCall == 0 && info.endCall == 0) return std::string();
    std::string svg = "<g id=\"song\" stroke=\"#000000\" stroke-dasharray=\"6 3\">";
    std::string labels;
    const auto mark = [&](uint32_t call, const char* label) {
        const std::string x = px(kLeft + int64_t{call} * l.callWidth);
        svg += "<line x1=\"" + x + "\" y1=\"" + px(kTop) + "\" x2=\"" + x + "\" y2=\"" +
               px(l.laneTop + l.laneHeight) + "\"/>";
        labels += text(kLeft + int64_t{call} * l.callWidth, kTop - 40, label);
    };
    if (info.loopCall > 0) mark(info.loopCall, "loop");
    if (info.endCall > 0) mark(info.endCall + 1, "end");
    return svg + "</g>\n<g text-anchor=\"middle\">\n" + labels + "</g>\n";
}

}  // namespace

std::string rollPicture(const StudyInfo& info, const std::vector<Note>& notes,
                        const std::vector<int32_t>& bends, const CallRate& rate) {
    const uint32_t firstPeriod = rate.firstTempoPeriod();
    const Layout layout = layoutOf(info, notes, bends, firstPeriod);
    return headOf(info, layout) + keyboardOf(layout) + timeAxisOf(info, layout, rate, firstPeriod) +
           notesOf(notes, bends, layout) + songMarksOf(info, layout) + "</svg>\n";
}
