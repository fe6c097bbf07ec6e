// kvres [--file-version VERSION] MANIFEST FILE: packs the resources named by
// MANIFEST into the ELF file FILE (a library or program), replacing the
// resources it had; with a version, FILE also carries its version resource.
#include "kvres/Manifest.h"

#include <cstring>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    std::string version;
    if (argc == 5 && std::strcmp(argv[1], "--file-version") == 0) {
        version = argv[2];
        argv += 2;
        argc -= 2;
    }
    if (argc != 3 || std::strcmp(argv[1], "--help") == 0) {
        std::cerr << "usage: kvres [--file-version VERSION] MANIFEST FILE\n"
                     "Packs the resources listed in MANIFEST ('TYPE NUMBER FILE' lines) into\n"
                     "the resource section of the ELF file FILE, with a version resource of\n"
                     "VERSION when it is given.\n";
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    return kvres::Pack(argv[1], argv[2], std::cerr, version);
}
