// Where the music repeats, from notes made here: what two calls that sound
// the same are, the period within the machine's, and the loop found in the
// notes alone under its rules.
#include <gtest/gtest.h>

#include <random>

#include "length/loop.h"

namespace {

// Notes of voice 0 from a list of (key, calls); key -1 rests.
std::vector<Note> melody(const std::vector<std::pair<int, uint32_t>>& parts, uint32_t first = 1) {
    std::vector<Note> notes;
    uint32_t call = first;
    for (const auto& [key, calls] : parts) {
        if (key >= 0) {
            notes.push_back({0, NoteKind::Pitched, static_cast<uint8_t>(key), 100, call,
                             call + calls - 1, 0, call + calls - 1});
        }
        call += calls;
    }
    return notes;
}

// `times` plays of a pass of `notes` random notes (8 to 12 calls each) after
// an intro of `intro` calls of one held note.
std::vector<Note> song(uint32_t seed, int notes, int times, uint32_t intro, uint32_t& pass) {
    std::mt19937 random(seed);
    std::vector<std::pair<int, uint32_t>> one;
    pass = 0;
    for (int k = 0; k < notes; ++k) {
        one.push_back({48 + static_cast<int>(random() % 24), 8 + random() % 5});
        pass += one.back().second;
    }
    std::vector<std::pair<int, uint32_t>> parts;
    if (intro > 0) parts.push_back({30, intro});
    for (int t = 0; t < times; ++t) parts.insert(parts.end(), one.begin(), one.end());
    return melody(parts);
}

TEST(MusicCalls, WhatEachCallSounds) {
    const std::vector<Note> notes = melody({{60, 3}, {-1, 2}, {62, 2}});
    const MusicCalls music = musicCalls(notes, 9, {0, 0, 0, 0, 0, 0, 0, 0, 1});
    ASSERT_EQ(music.sounds.size(), 10u);
    EXPECT_EQ(music.sounds[0], 0u);
    EXPECT_NE(music.sounds[1], 0u);
    EXPECT_EQ(music.sounds[1], music.sounds[3]);  // one note held
    EXPECT_EQ(music.sounds[4], 0u);               // a rest
    EXPECT_NE(music.sounds[6], music.sounds[1]);  // another key
    EXPECT_NE(music.sounds[8], 0u);               // samples through the volume register
    EXPECT_EQ(music.onsets[1], 1u);
    EXPECT_EQ(music.onsets[2], 0u);
    EXPECT_EQ(music.onsets[6], 1u);
    uint32_t last = 0;
    ASSERT_TRUE(lastHeard(music, last));
    EXPECT_EQ(last, 8u);
    EXPECT_FALSE(lastHeard(musicCalls({}, 5, {}), last));
}

// Kept in entries of two calls (a bounded run): a note covers the entries of
// its calls and begins in its first call's; the samples come by the entry.
TEST(MusicCalls, InEntriesOfSeveralCalls) {
    const std::vector<Note> notes = melody({{60, 3}, {-1, 2}, {62, 2}});  // 1-3, 6-7
    const MusicCalls music = musicCalls(notes, 9, {0, 0, 0, 0, 1}, 1);
    ASSERT_EQ(music.sounds.size(), 5u);
    EXPECT_NE(music.sounds[0], 0u);
    EXPECT_EQ(music.sounds[0], music.sounds[1]);
    EXPECT_EQ(music.sounds[2], 0u);
    EXPECT_NE(music.sounds[3], 0u);
    EXPECT_NE(music.sounds[3], music.sounds[0]);
    EXPECT_NE(music.sounds[4], 0u);
    EXPECT_EQ(music.onsets[0], 1u);
    EXPECT_EQ(music.onsets[1], 0u);
    EXPECT_EQ(music.onsets[3], 1u);
    EXPECT_EQ(music.entry(7), 3u);
    EXPECT_EQ(music.firstCall(3), 6u);
    EXPECT_EQ(music.lastCall(3), 7u);
}

// The machine's period holds three passes (a counter): the music's is one,
// and it starts where the intro ends.
TEST(LoopInState, SmallestDivisorOverWhichTheNotesRepeat) {
    uint32_t pass = 0;
    const uint32_t intro = 40;
    const std::vector<Note> notes = song(1, 30, 5, intro, pass);
    const uint32_t i = intro + 7, j = i + 3 * pass;
    const MusicCalls music = musicCalls(notes, j, {});
    const MusicLoop loop = loopInState(music, i, j, 50);
    EXPECT_EQ(loop.period, pass);
    EXPECT_EQ(loop.start, intro + 1);
}

// A note held through the whole of the machine's period repeats with a
// period of one call; the music's period is a second at least.
TEST(LoopInState, ASecondAtLeast) {
    const std::vector<Note> notes = melody({{60, 400}});
    const MusicCalls music = musicCalls(notes, 300, {});
    EXPECT_EQ(loopInState(music, 100, 300, 50).period, 50u);
    EXPECT_EQ(loopInState(music, 100, 130, 50).period, 30u);  // the machine's, when shorter
    EXPECT_EQ(loopInState(musicCalls({}, 300, {}), 100, 300, 50).period, 0u);  // silent
}

// A note that begins a call later in the second pass still sounds the same;
// more than 3 % of the heard calls differing is another period.
TEST(LoopInState, OnsetsWithinACallAndTheShareThatMayDiffer) {
    std::vector<Note> notes =
        melody({{60, 10}, {64, 10}, {67, 10}, {72, 10}, {60, 11}, {64, 9}, {67, 10}, {72, 10}});
    MusicCalls music = musicCalls(notes, 80, {});
    EXPECT_EQ(loopInState(music, 0, 80, 40).period, 40u);
    // Three calls in every pass of 40 differ (7.5 %): not one period.
    notes = melody({{60, 10}, {64, 10}, {67, 10}, {72, 10}, {60, 13}, {64, 7}, {67, 10}, {72, 10}});
    music = musicCalls(notes, 80, {});
    EXPECT_EQ(loopInState(music, 0, 80, 40).period, 80u);
}

// A melody (voice 0, notes of 10 calls) over a bass (voice 1, notes of 30
// calls): a pass of 300 calls, played three times from call 1. In the first
// pass the melody's first 8 notes, or the bass's first 3, or both, are
// played otherwise (the first 80 or 90 calls).
std::vector<Note> melodyOverBass(bool melodyOtherwise, bool bassOtherwise) {
    std::mt19937 random(7);
    int melody[30], bass[10];
    for (int& key : melody) key = 60 + static_cast<int>(random() % 24);
    for (int& key : bass) key = 36 + static_cast<int>(random() % 12);
    std::vector<Note> notes;
    const auto add = [&notes](uint8_t voice, int key, uint32_t first, uint32_t calls) {
        notes.push_back({voice, NoteKind::Pitched, static_cast<uint8_t>(key), 100, first,
                         first + calls - 1, 0, first + calls - 1});
    };
    for (uint32_t t = 0; t < 3; ++t) {
        for (uint32_t k = 0; k < 30; ++k)
            add(0, melody[k] + (t == 0 && melodyOtherwise && k < 8 ? 1 : 0), 1 + t * 300 + k * 10,
                10);
        for (uint32_t k = 0; k < 10; ++k)
            add(1, bass[k] + (t == 0 && bassOtherwise && k < 3 ? 2 : 0), 1 + t * 300 + k * 30, 30);
    }
    return notes;
}

// The machine's state repeats from the end of the first pass. A first pass
// that differs in one voice while the other is the same is the loop's first
// pass (it differs far more than the share a pass may: 27 to 30 %); one in
// which both voices differ is an intro up to where one of them is the same
// (the melody from call 81, the bass still otherwise up to call 90).
TEST(LoopInState, AFirstPassThatDiffersInOneVoiceIsNoIntro) {
    struct Case {
        bool melody, bass;
        uint32_t start;
    };
    const Case kCases[] = {{false, false, 1}, {false, true, 1}, {true, false, 1}, {true, true, 81}};
    for (const Case& c : kCases) {
        const MusicCalls music = musicCalls(melodyOverBass(c.melody, c.bass), 900, {});
        const MusicLoop loop = loopInState(music, 300, 600, 50);
        EXPECT_EQ(loop.period, 300u) << c.melody << c.bass;
        EXPECT_EQ(loop.start, c.start) << c.melody << c.bass;
    }
    // A voice alone whose first notes differ: nothing else heard is the same.
    std::vector<Note> alone = melodyOverBass(true, false);
    std::erase_if(alone, [](const Note& n) { return n.voice == 1; });
    EXPECT_EQ(loopInState(musicCalls(alone, 900, {}), 300, 600, 50).start, 81u);
}

struct RulesCase {
    const char* what;
    int times;       // plays of the pass
    uint32_t intro;  // calls before it
    LoopRules rules;
    bool found;
};

TEST(LoopInMusic, Rules) {
    const RulesCase kCases[] = {
        {"three plays", 3, 0, {2, 50, 100, 0, 0.03}, true},
        {"two plays are not enough", 2, 0, {2, 50, 100, 0, 0.03}, false},
        {"one confirming pass asked for", 2, 0, {1, 50, 100, 0, 0.03}, true},
        {"an intro shorter than a pass", 3, 200, {2, 50, 100, 0, 0.03}, true},
        {"an intro longer than a pass", 3, 600, {2, 50, 100, 0, 0.03}, false},
        {"any intro", 3, 600, {2, 50, 0, 0, 0.03}, true},
        {"a span too short", 3, 0, {2, 50, 100, 100000, 0.03}, false},
        {"passes shorter than the shortest", 3, 0, {2, 1000, 100, 0, 0.03}, false},
    };
    for (const RulesCase& c : kCases) {
        uint32_t pass = 0;
        const std::vector<Note> notes = song(7, 40, c.times, c.intro, pass);
        const uint32_t last = c.intro + static_cast<uint32_t>(c.times) * pass;
        const MusicLoop loop = loopInMusic(musicCalls(notes, last, {}), c.rules);
        EXPECT_EQ(loop.period != 0, c.found) << c.what;
        if (c.found && loop.period != 0) {
            EXPECT_EQ(loop.period, pass) << c.what;
            EXPECT_EQ(loop.start, c.intro + 1) << c.what;
        }
    }
}

// A section played three times before the song goes on is not the loop:
// the notes after it break it.
TEST(LoopInMusic, ASectionThatEndsIsNotTheLoop) {
    uint32_t pass = 0;
    std::vector<Note> notes = song(3, 12, 3, 0, pass);
    std::vector<Note> more = song(4, 30, 1, 0, pass);
    const uint32_t after = notes.back().last + 1;
    for (Note& n : more) {
        n.first += after - 1;
        n.last += after - 1;
    }
    notes.insert(notes.end(), more.begin(), more.end());
    const MusicLoop loop =
        loopInMusic(musicCalls(notes, notes.back().last, {}), {2, 50, 100, 0, 0.03});
    EXPECT_EQ(loop.period, 0u);
}

// Samples alone, or a held note, repeat with any period: no loop.
TEST(LoopInMusic, ANoteMustBeginInAPass) {
    const std::vector<uint8_t> samples(3000, 1);
    EXPECT_EQ(loopInMusic(musicCalls({}, 2999, samples), {2, 50, 100, 0, 0.03}).period, 0u);
    EXPECT_EQ(loopInMusic(musicCalls(melody({{60, 3000}}), 2999, {}), {2, 50, 100, 0, 0.03}).period,
              0u);
}

// Three voices, each a melody of its own period (notes of 10 calls) from call
// 1 to call 3600; with `free`, voice 2 plays random notes throughout.
std::vector<Note> voicesOfTheirOwn(const uint32_t periods[3], bool free) {
    std::mt19937 random(11);
    std::vector<Note> notes;
    for (uint8_t v = 0; v < 3; ++v) {
        std::vector<int> keys(periods[v] / 10);
        for (int& key : keys) key = 40 + 12 * v + static_cast<int>(random() % 12);
        for (uint32_t k = 0; k < 360; ++k) {
            const int key =
                free && v == 2 ? 64 + static_cast<int>(random() % 24) : keys[k % keys.size()];
            const uint32_t first = 1 + k * 10;
            notes.push_back({v, NoteKind::Pitched, static_cast<uint8_t>(key), 100, first, first + 9,
                             0, first + 9});
        }
    }
    return notes;
}

// Periods of 300, 400 and 500 calls: together 6000, past the calls run, but
// each voice loops, and the song starts over when the longest does.
TEST(LoopByParts, TheSongStartsOverWithItsLongestVoice) {
    const LoopRules rules{2, 50, 100, 0, 0.03};
    const uint32_t periods[3] = {300, 400, 500};
    const MusicCalls music = musicCalls(voicesOfTheirOwn(periods, false), 3600, {});
    EXPECT_EQ(loopInMusic(music, rules).period, 0u);
    const MusicLoop loop = loopByParts(music, rules);
    EXPECT_EQ(loop.start, 1u);
    EXPECT_EQ(loop.period, 500u);
    // A voice that never repeats: no loop.
    EXPECT_EQ(loopByParts(musicCalls(voicesOfTheirOwn(periods, true), 3600, {}), rules).period, 0u);
    // One voice alone is the music as a whole.
    std::vector<Note> one = voicesOfTheirOwn(periods, false);
    std::erase_if(one, [](const Note& n) { return n.voice != 0; });
    EXPECT_EQ(loopByParts(musicCalls(one, 3600, {}), rules).period, 0u);
}

}  // namespace
