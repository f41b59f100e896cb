// A small program for the real-engine tests of the launchers: it does what its arguments say, in
// order, and ends with the exit code asked for.
//
//   zebexit.exe [out=TEXT] [err=TEXT] [long=N] [sleep=MS] [touch=PATH] [exit=N] ...
//
//   out=TEXT    a line to standard output      err=TEXT   a line to standard error
//   long=N      a line of N 'x' to standard output
//   sleep=MS    waits MS milliseconds          touch=PATH writes "done" to PATH
//   exit=N      the exit code (0 by default), taken at the end
//
// Each line is flushed at once, so that both streams sent to one file keep their order.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The value of "name=value", or nullptr when the argument is not that option.
const char* Option(const char* arg, const char* name) {
    const size_t n = std::strlen(name);
    return std::strncmp(arg, name, n) == 0 && arg[n] == '=' ? arg + n + 1 : nullptr;
}

void Line(FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    for (int i = 1; i < argc; i++) {
        const char* value = nullptr;
        if ((value = Option(argv[i], "out"))) {
            Line(stdout, value);
        } else if ((value = Option(argv[i], "err"))) {
            Line(stderr, value);
        } else if ((value = Option(argv[i], "long"))) {
            Line(stdout, std::string(std::strtoul(value, nullptr, 10), 'x'));
        } else if ((value = Option(argv[i], "sleep"))) {
            Sleep(std::strtoul(value, nullptr, 10));
        } else if ((value = Option(argv[i], "touch"))) {
            FILE* f = std::fopen(value, "w");
            if (!f)
                return 2;
            std::fputs("done", f);
            std::fclose(f);
        } else if ((value = Option(argv[i], "exit"))) {
            exitCode = static_cast<int>(std::strtol(value, nullptr, 10));
        } else {
            std::fprintf(stderr, "zebexit: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    return exitCode;
}
