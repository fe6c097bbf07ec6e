// Loading dynamic libraries.
#pragma once

#include "foundation/KCStPath.h"

#include <string>

// Opaque reference to a loaded library (the dlopen handle); null is none.
struct KTNativeDLLRefType;

// Loads the library at `path` with every symbol bound at once and kept
// local. A missing file or a missing dependency gives eFMFileNotFound, any
// other failure eGenericErr. `flags` is not used.
KTErr KULoadDLL(const kvFM::KCStPath& path, long flags, KTNativeDLLRefType*& out);

// The exported symbol's address, or null.
void* KUGetSymbol(KTNativeDLLRefType* ref, const char* name);

// 0 with `address` set; a missing symbol gives eGenericErr and a null
// address; a symbol whose value is null gives 0 with a null address.
KTErr KUGetSymbol(KTNativeDLLRefType* ref, const std::string& name, void*& address);

void KUReleaseDLL(KTNativeDLLRefType*& ref);
