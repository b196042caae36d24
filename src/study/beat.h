// The tune's beat: the length of its rows, the steps on which its notes
// begin, and where they begin. Trackers play a tune in rows of a fixed number
// of calls (typically 2 to 12), and its notes begin on them, some a call late
// (a voice whose notes start after a hard restart of a call). The row length
// is the largest number of calls, from 2 to 16, on which nine in ten of the
// calls where notes begin fall in step: on one phase of it, or, for rows of 4
// calls or more, on one phase or the call after it. That phase is where the
// rows begin. A tune called n times a screen (a multi-speed player, an
// interrupt several times a frame) has rows of n times as many calls: 2n to
// 16n.
#pragma once

#include <cstdint>
#include <vector>

// `onsets`: the calls on which notes begin, in any order; `speed`: the calls
// a screen (1 for a tune called once a screen). 0 when no row length stands
// out (or there are fewer than 8 such calls to judge by).
uint32_t rowLength(std::vector<uint32_t> onsets, uint32_t speed = 1);

// The calls a screen of a tune called every `period` cycles at `clock`:
// the rate over 50 calls a second, rounded, 1 at least.
uint32_t callsAScreen(uint32_t clock, uint32_t period);

// The phase (0 to `row` - 1) of the calls on which the rows of `row` calls
// begin: the one on which most of the calls of `onsets` fall, counting for
// rows of 4 calls or more those a call late with it; of phases that hold as
// many, the one with more onsets of its own, then the first. 0 when `row`
// is 0 or there are no onsets.
uint32_t rowPhase(std::vector<uint32_t> onsets, uint32_t row);
