// The device life cycle of the algorithm object: the full reset with its
// command files. Until the life cycle is built, the reset reports that no
// device answered and sends nothing.
#include "plugin/PeqAlg.h"

bool cPEQ_ALG::ResetAndRunPop(bool force, const char* popPath) {
    return false;
}
