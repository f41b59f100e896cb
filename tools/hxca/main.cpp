// hxca: runs custom actions of the library against a scenario on the simulated machine.
#include "cli.h"
#include "logreport.h"

#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args[0] == "log") {
        hxca::LogOptions log;
        try {
            log = hxca::ParseLogArgs({args.begin() + 1, args.end()});
        } catch (const hxca::LogUsageError& e) {
            std::cerr << "hxca log: " << e.what() << "\n" << hxca::LogUsage();
            return 2;
        }
        if (log.help) {
            std::cout << hxca::LogUsage();
            return 0;
        }
        try {
            return hxca::RunLog(log, std::cout, std::cerr);
        } catch (const std::exception& e) {
            std::cerr << "hxca log: " << e.what() << "\n";
        }
        return 2;
    }
    hxca::Options options;
    try {
        options = hxca::ParseArgs(args);
    } catch (const hxca::UsageError& e) {
        std::cerr << "hxca: " << e.what() << "\n" << hxca::Usage();
        return 2;
    }
    if (options.help) {
        std::cout << hxca::Usage();
        return 0;
    }
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string library = (ec ? std::filesystem::path(argv[0]) : self).parent_path() / "libzebiwicn.so";
    // Bad input is exit status 2 with a message, never an abort.
    try {
        return hxca::RunHxca(options, library, std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::cerr << "hxca: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "hxca: unexpected error\n";
    }
    return 2;
}
