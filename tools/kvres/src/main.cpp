// kvres MANIFEST FILE: packs the resources named by MANIFEST into the ELF
// file FILE (a library or program), replacing the resources it had.
#include "kvres/Manifest.h"

#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    if (argc != 3 || std::strcmp(argv[1], "--help") == 0) {
        std::cerr << "usage: kvres MANIFEST FILE\n"
                     "Packs the resources listed in MANIFEST ('TYPE NUMBER FILE' lines) into\n"
                     "the resource section of the ELF file FILE.\n";
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    return kvres::Pack(argv[1], argv[2], std::cerr);
}
