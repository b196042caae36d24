// Every single-instruction case recorded from an NMOS 6502 (adapted to this
// CPU's rules), when the shared folder is present.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cpu/cpu_state.h"
#include "support/test_support.h"

namespace {

// One side of a case: pc s a x y p, then "addr:value" items up to ">" or the end.
std::vector<unsigned> readState(std::istringstream& in,
                                std::vector<std::pair<unsigned, unsigned>>& memory) {
    std::vector<unsigned> registers(6);
    for (unsigned& r : registers) in >> std::hex >> r;
    for (std::string item; in >> item && item != ">";) {
        memory.emplace_back(std::stoul(item.substr(0, 4), nullptr, 16),
                            std::stoul(item.substr(5), nullptr, 16));
    }
    return registers;
}

TEST(CpuVectors, AllCasesPass) {
    if (sharedDir().empty()) GTEST_SKIP() << "the shared CPU cases are not here";
    std::ifstream file(sharedDir() / "cpu-vectors" / "nmos6502.txt");
    int cases = 0, failures = 0;
    for (std::string line; std::getline(file, line); ++cases) {
        std::istringstream in(line);
        unsigned opcode, mask;
        in >> std::hex >> opcode >> mask;
        std::vector<std::pair<unsigned, unsigned>> before, after;
        const std::vector<unsigned> r = readState(in, before), expected = readState(in, after);
        cpuReset(false);
        for (auto [address, value] : before) {
            const uint8_t byte = static_cast<uint8_t>(value);
            cpuLoad(&byte, static_cast<uint16_t>(address), 1);
        }
        cpuSetPc(static_cast<uint16_t>(r[0]));
        std::tie(cpu.sp, cpu.a, cpu.x, cpu.y) =
            std::tuple(uint8_t(r[1]), uint8_t(r[2]), uint8_t(r[3]), uint8_t(r[4]));
        setStatusByte(static_cast<uint8_t>(r[5]));
        cpuRun(1);
        bool ok = std::vector<unsigned>{cpu.pc, cpu.sp, cpu.a, cpu.x, cpu.y} ==
                      std::vector<unsigned>(expected.begin(), expected.begin() + 5) &&
                  ((statusByte() ^ expected[5]) & mask) == 0;
        for (auto [address, value] : after) ok = ok && cpu.memory[address] == value;
        if (!ok && ++failures <= 10) ADD_FAILURE() << "case failed: " << line;
    }
    EXPECT_EQ(cases, 27945);
    EXPECT_EQ(failures, 0);
}

}  // namespace
