// Every single-instruction case recorded from an NMOS 6502 (adapted to this
// CPU's rules), when the shared folder is present.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cpu/cpu_state.h"
#include "support/test_support.h"

namespace {

struct State {
    unsigned pc, sp, a, x, y, p;
    std::vector<std::pair<unsigned, unsigned>> memory;
};

State readState(std::istringstream& in) {
    State s{};
    in >> std::hex >> s.pc >> s.sp >> s.a >> s.x >> s.y >> s.p;
    std::string item;
    while (in >> item && item != ">") {
        s.memory.emplace_back(std::stoul(item.substr(0, 4), nullptr, 16),
                              std::stoul(item.substr(5), nullptr, 16));
    }
    return s;
}

TEST(CpuVectors, AllCasesPass) {
    if (sharedDir().empty()) GTEST_SKIP() << "the shared CPU cases are not here";
    std::ifstream file(sharedDir() / "cpu-vectors" / "nmos6502.txt");
    std::string line;
    int cases = 0, failures = 0;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        unsigned opcode, mask;
        in >> std::hex >> opcode >> mask;
        const State before = readState(in), after = readState(in);
        cpuReset(false);
        cpu.pc = static_cast<uint16_t>(before.pc);
        cpu.sp = static_cast<uint8_t>(before.sp);
        cpu.a = static_cast<uint8_t>(before.a);
        cpu.x = static_cast<uint8_t>(before.x);
        cpu.y = static_cast<uint8_t>(before.y);
        setStatusByte(static_cast<uint8_t>(before.p));
        for (auto [address, value] : before.memory) {
            uint8_t byte = static_cast<uint8_t>(value);
            cpuLoad(&byte, static_cast<uint16_t>(address), 1);
        }
        cpuRun(1);
        bool ok = cpu.pc == after.pc && cpu.sp == after.sp && cpu.a == after.a &&
                  cpu.x == after.x && cpu.y == after.y && ((statusByte() ^ after.p) & mask) == 0;
        for (auto [address, value] : after.memory) ok = ok && cpu.memory[address] == value;
        ++cases;
        if (!ok && ++failures <= 10) ADD_FAILURE() << "case failed: " << line;
    }
    EXPECT_EQ(cases, 27945);
    EXPECT_EQ(failures, 0);
}

}  // namespace
