// veltrane-compose: composes the intro's soundtrack, Rava64.xm, in code.
// Every instrument is synthesised (instruments.cpp) and every note is placed
// (parts.cpp, score.cpp) in this folder, so the song is rebuilt byte for byte
// from its files alone.

#include "tools/compose/score.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char *usage =
    "usage: veltrane-compose [OUT.xm]\n"
    "\n"
    "Composes the intro's soundtrack and writes it to OUT.xm (default: Rava64.xm).\n"
    "The instruments are synthesised and the notes placed in code, so every run\n"
    "writes the same bytes.\n"
    "\n"
    "  --help  this text\n"
    "\n"
    "Exit status: 0 on success, 1 on a failure while working, 2 on a usage error.\n";

} // namespace

int main(int argc, char **argv) {
    std::string output = "Rava64.xm";
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (argument.rfind("-", 0) == 0 || i > 1) {
            std::fprintf(stderr, "veltrane-compose: unexpected argument '%s'\n%s", argv[i], usage);
            return 2;
        }
        output = argument;
    }
    errno = 0;
    if (!writeXm(output, composeSong())) {
        std::fprintf(stderr, "veltrane-compose: %s: cannot write the song%s%s\n", output.c_str(),
                     errno ? ": " : "", errno ? std::strerror(errno) : "");
        return 1;
    }
    return 0;
}
