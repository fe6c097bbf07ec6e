#include "plugin/DebugTrace.h"

#include "foundation/KUTrace.h"

void DulmDebugOutput(const std::string& text) {
    KUDebugTrace(text);
}
