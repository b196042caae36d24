// What the study's writers show of the run besides the chips and notes. The
// times of the calls come from the call rate.
#pragma once

#include <cstdint>
#include <string>

struct StudyInfo {
    std::string name, author, copyright;  // the header's bytes, up to the first zero
    int song;                             // 1 to 256
    int songs;                            // the header's count
    bool ntsc;
    uint32_t clock;             // 985248 (PAL) or 1022727 (NTSC)
    uint32_t calls;             // play calls after the start routine: the most, then those run
    bool untilRepeat;           // --length: the run stops where the song repeats
    uint32_t loopCall;          // the call from which the song repeats; 0 when it does not
    int chips;                  // 1 to 3
    uint32_t capSeconds = 0;    // not 0: the calls are those of this much of the machine's time
    uint32_t endCall = 0;       // the song's last call when it is known (marked); 0 otherwise
    bool measuredRate = false;  // the calls' periods were measured (interrupt-driven)
};
