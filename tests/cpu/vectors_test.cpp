// Every single-instruction case recorded from an NMOS 6502 (adapted to this
// CPU's rules; tests/data/README.md): the documented opcodes with and
// without the undocumented ones executed, and the undocumented opcodes.
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

struct VectorFile {
    const char* name;
    bool undocumented;
    int cases;
};

class CpuVectors : public testing::TestWithParam<VectorFile> {};

TEST_P(CpuVectors, AllCasesPass) {
    const VectorFile& v = GetParam();
    std::ifstream file(std::filesystem::path(VOXDUMP_VECTORS_DIR) / v.name);
    ASSERT_TRUE(file) << v.name;
    int cases = 0, failures = 0;
    for (std::string line; std::getline(file, line); ++cases) {
        std::istringstream in(line);
        unsigned opcode, mask;
        in >> std::hex >> opcode >> mask;
        std::vector<std::pair<unsigned, unsigned>> before, after;
        const std::vector<unsigned> r = readState(in, before), expected = readState(in, after);
        cpuReset();
        cpuSetUndocumented(v.undocumented);
        for (auto [address, value] : before) cpu.memory[address] = static_cast<uint8_t>(value);
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
    EXPECT_EQ(cases, v.cases);
    EXPECT_EQ(failures, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, CpuVectors,
                         testing::Values(VectorFile{"nmos6502.txt", false, 27945},
                                         VectorFile{"nmos6502.txt", true, 27945},
                                         VectorFile{"nmos6502-undocumented.txt", true, 16136}),
                         [](const auto& p) {
                             return std::string(p.param.cases == 16136 ? "Undocumented"
                                                : p.param.undocumented ? "DocumentedWithOption"
                                                                       : "Documented");
                         });

}  // namespace
