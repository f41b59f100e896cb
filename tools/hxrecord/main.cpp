// hxrecord: installation records of test machines as .reg text (see hxrecord.h).
#include "hxrecord.h"

#include <fstream>
#include <iostream>
#include <sstream>

namespace {

int Check(const std::vector<std::string>& files) {
    int rc = 0;
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::cerr << file << ": cannot be read\n";
            rc = 1;
            continue;
        }
        std::ostringstream text;
        text << in.rdbuf();
        std::string problem = hxrecord::CheckFile(text.str());
        if (!problem.empty()) {
            std::cerr << file << ": " << problem << "\n";
            rc = 1;
        }
    }
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << hxrecord::Usage();
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--check")
        return Check({args.begin() + 1, args.end()});
    bool body = args[0] == "--body";
    if (body)
        args.erase(args.begin());
    hxrecord::Output out = hxrecord::FromArgs(args, body);
    if (!out.error.empty()) {
        std::cerr << "hxrecord: " << out.error << "\n" << hxrecord::Usage();
        return 2;
    }
    std::cout.write(out.text.data(), (std::streamsize)out.text.size());
    return 0;
}
