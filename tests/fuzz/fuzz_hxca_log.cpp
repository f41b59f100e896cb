// Fuzz target: hxca log's reader. Whatever the bytes, reading, summarising, showing the failing
// run, the JSON form and the comparison with itself end with a status and never crash; a log
// compared with itself never differs.
#include "logdiff.h"
#include "logparse.h"
#include "logreport.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "hxca log: %s\n", what);
    abort();
}

std::string TempPath() {
    static const std::string path = "/tmp/fuzz_hxca_log_" + std::to_string(getpid()) + ".log";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = TempPath();
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        Fail("cannot write the input file");
    if (size > 0 && fwrite(data, 1, size, f) != size)
        Fail("cannot write the input file");
    fclose(f);

    for (bool json : {false, true}) {
        hxca::LogOptions options;
        options.files.push_back(path);
        options.json = json;
        std::ostringstream out, err;
        int rc = hxca::RunLog(options, out, err);
        if (rc < 0 || rc > 2)
            Fail("RunLog gave a status outside 0-2");
    }

    hxca::LogSummary summary;
    std::string error;
    if (hxca::ParseLogFile(path, summary, error)) {
        for (const hxca::ActionRunInfo& run : summary.runs)
            if (run.firstLine > run.lastLine || run.lastLine > summary.lastLineNumber)
                Fail("a run's lines lie outside the log");
        std::ostringstream out, err;
        int rc = hxca::RunLogDiff(path, path, false, out, err);
        if (rc == 1)
            Fail("a log differs from itself");
    }
    unlink(path.c_str());
    return 0;
}
