// hxca: runs custom actions of the library against a scenario on the simulated machine.
#include "cli.h"

#include <filesystem>
#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
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
