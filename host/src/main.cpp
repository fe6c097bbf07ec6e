#include "host/Application.h"

int main(int argc, char** argv) {
    return RigwellMain(argc, argv);
}
