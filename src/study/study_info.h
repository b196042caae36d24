// What the study's writers show of the run besides the chips and notes.
#pragma once

#include <cstdint>
#include <string>

struct StudyInfo {
    std::string name, author, copyright;  // the header's bytes, up to the first zero
    int song;                             // 1 to 256
    int songs;                            // the header's count
    bool ntsc;
    uint32_t clock;      // 985248 (PAL) or 1022727 (NTSC)
    int callsPerSecond;  // 50 (PAL) or 60 (NTSC)
    uint32_t calls;      // play calls after the start routine
    int chips;           // 1 to 3
};
