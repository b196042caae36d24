// Every single-instruction case recorded from an NMOS 6502 (adapted to this
// CPU's rules; tests/data/README.md): the documented opcodes with and
// without the undocumented ones executed, and the undocumented opcodes; each
// through the flat loop (cpuRun) and through the machine's (cpuRunMachine)
// with a map where every page is RAM. The flat loop must charge the
// opcode's base cycles; the machine's adds a cycle for a taken branch and
// another when it goes to another page, and one for an indexed read whose
// index carries into the high byte (reckoned here from the case's state).
//
// The two loops differ where the cases do not go: the flat loop stops at
// BRK and yields 0 from a pull of the empty stack, while the machine's takes
// BRK through ($FFFE) and wraps the stack pointer; the cases leave out BRK
// and the pulls of the empty stack. A JMP to itself is where the machine's
// loop reports that it idles, with the instruction done.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cpu/bus.h"
#include "cpu/cpu_state.h"
#include "support/test_support.h"

namespace {

bool ioAccessed = false;

uint8_t noIoRead(uint16_t) {
    ioAccessed = true;
    return 0;
}
void noIoWrite(uint16_t, uint8_t) {
    ioAccessed = true;
}
void noPortWrite() {}

// A machine of RAM alone: every page read from the image, no I/O page, no
// event and no limit within reach. The reset leaves the bus alone.
void mapAllRam() {
    cpu.bus = CpuBus{};
    for (unsigned page = 0; page < 256; ++page) cpu.bus.readPage[page] = &cpu.memory[page * 256];
    cpu.bus.ioRead = noIoRead;
    cpu.bus.ioWrite = noIoWrite;
    cpu.bus.portWrite = noPortWrite;
    cpu.bus.nextEvent = UINT64_MAX;
    cpu.bus.limit = UINT64_MAX;
}

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

// The machine's cycles beyond the base count for the case.
unsigned extraCycles(unsigned opcode, const std::vector<unsigned>& r,
                     const std::vector<std::pair<unsigned, unsigned>>& memory, unsigned pcAfter) {
    const auto byteAt = [&](unsigned address) {
        for (auto [a, v] : memory)
            if (a == (address & 0xFFFF)) return v;
        return 0u;
    };
    const unsigned pc = r[0], x = r[3], y = r[4];
    const auto crosses = [](unsigned base, unsigned index) {
        return ((base + index) ^ base) & 0xFF00 ? 1u : 0u;
    };
    if ((opcode & 0x1F) == 0x10) {  // branches: N, V, C, Z by the top two bits
        const unsigned p = r[5];
        const unsigned flag[4] = {p >> 7 & 1, p >> 6 & 1, p & 1, p >> 1 & 1};
        const bool taken = flag[opcode >> 6] == (opcode >> 5 & 1);
        if (!taken) return 0;
        return 1 + ((((pc + 2) ^ pcAfter) & 0xFF00) ? 1u : 0u);
    }
    const unsigned word = byteAt(pc + 1) | byteAt(pc + 2) << 8;
    const unsigned pointer = byteAt(byteAt(pc + 1)) | byteAt((byteAt(pc + 1) + 1) & 0xFF) << 8;
    switch (opcode) {
        // abs,X reads, the undocumented NOPs among them
        case 0x1D:
        case 0x3D:
        case 0x5D:
        case 0x7D:
        case 0xBD:
        case 0xBC:
        case 0xDD:
        case 0xFD:
        case 0x1C:
        case 0x3C:
        case 0x5C:
        case 0x7C:
        case 0xDC:
        case 0xFC: return crosses(word, x);
        // abs,Y reads, LAX and LAS among them
        case 0x19:
        case 0x39:
        case 0x59:
        case 0x79:
        case 0xB9:
        case 0xBE:
        case 0xD9:
        case 0xF9:
        case 0xBF:
        case 0xBB: return crosses(word, y);
        // (zp),Y reads, LAX among them
        case 0x11:
        case 0x31:
        case 0x51:
        case 0x71:
        case 0xB1:
        case 0xD1:
        case 0xF1:
        case 0xB3: return crosses(pointer, y);
        default: return 0;
    }
}

struct VectorFile {
    const char* name;
    bool undocumented;
    int cases;
    bool machine;  // through cpuRunMachine
    const char* testName;
};

class CpuVectors : public testing::TestWithParam<VectorFile> {};

TEST_P(CpuVectors, AllCasesPass) {
    const VectorFile& v = GetParam();
    std::ifstream file(std::filesystem::path(VOXDUMP_VECTORS_DIR) / v.name);
    ASSERT_TRUE(file) << v.name;
    int cases = 0, failures = 0;
    if (v.machine) mapAllRam();
    ioAccessed = false;
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
        uint64_t cycles;
        bool done;
        if (v.machine) {
            cpu.bus.now = 0;
            cpu.bus.nextEvent = UINT64_MAX;  // CLI and PLP bring it near
            const int result = cpuRunMachine(1);
            cycles = cpu.bus.now;
            done = result == kRunStepsDone ||
                   (result == kRunIdle && opcode == 0x4C && expected[0] == r[0]);
        } else {
            done = cpuRun(1) == kRunStepsDone;
            cycles = cpu.cycleTotal;
        }
        const unsigned extra = v.machine ? extraCycles(opcode, r, before, expected[0]) : 0;
        bool ok = done && cycles == cpu.opcodeCycles[opcode] + extra &&
                  std::vector<unsigned>{cpu.pc, cpu.sp, cpu.a, cpu.x, cpu.y} ==
                      std::vector<unsigned>(expected.begin(), expected.begin() + 5) &&
                  ((statusByte() ^ expected[5]) & mask) == 0;
        for (auto [address, value] : after) ok = ok && cpu.memory[address] == value;
        if (!ok && ++failures <= 10) ADD_FAILURE() << "case failed: " << line;
    }
    EXPECT_EQ(cases, v.cases);
    EXPECT_EQ(failures, 0);
    EXPECT_FALSE(ioAccessed);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Files, CpuVectors, testing::Values(
    VectorFile{"nmos6502.txt", false, 27945, false, "Documented"},
    VectorFile{"nmos6502.txt", true, 27945, false, "DocumentedWithOption"},
    VectorFile{"nmos6502-undocumented.txt", true, 16136, false, "Undocumented"},
    VectorFile{"nmos6502.txt", false, 27945, true, "MachineDocumented"},
    VectorFile{"nmos6502.txt", true, 27945, true, "MachineDocumentedWithOption"},
    VectorFile{"nmos6502-undocumented.txt", true, 16136, true, "MachineUndocumented"}),
    [](const auto& p) { return std::string(p.param.testName); });
// clang-format on

}  // namespace
