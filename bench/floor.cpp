// The floor for voxdump's output: reads a finished output file, then writes
// the same bytes to another file as the same lines, one write call per line.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: voxdump_floor input output\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return 1;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (write(out, text.data() + at, end - at) != static_cast<ssize_t>(end - at)) return 1;
        at = end;
    }
    return close(out) == 0 ? 0 : 1;
}
