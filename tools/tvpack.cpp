// tvpack: packs a directory tree into a resource archive; lists, verifies and extracts archives.
#include <iostream>
#include <string>
#include <vector>

#include "tools/ArchivePacker.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return trivale::tools::RunPacker(args, std::cout, std::cerr);
}
