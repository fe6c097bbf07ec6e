// System, clock and module utilities.
#pragma once

#include "foundation/KCStPath.h"
#include "foundation/KURect.h"

#include <cstddef>
#include <cstdint>
#include <elf.h>
#include <string>

// A microsecond reading of the monotonic clock; only differences between
// two readings mean something.
class UMicroseconds {
public:
    UMicroseconds() { ReadTime(); }
    UMicroseconds(int64_t value) : value(value) {}
    UMicroseconds(const UMicroseconds& other) = default;
    UMicroseconds& operator=(const UMicroseconds& other) = default;

    UMicroseconds& ReadTime();

    operator uint64_t() const { return static_cast<uint64_t>(value); }
    operator double() const { return static_cast<double>(value); }
    int64_t Get() const { return value; }

    double Seconds() const { return static_cast<double>(value) / 1000000.0; }
    double MilliSeconds() const { return static_cast<double>(value) / 1000.0; }
    double MicroSeconds() const { return static_cast<double>(value); }

private:
    int64_t value;
};

class CGeneralSysUtils {
public:
    static int GetCurrentProcessID();
    // Goes to the trace sink (stderr, or the file named by QUORL_TRACE).
    static void DefaultSystemBeep();
    // A modal message box when a wx GUI application runs (GUI layer); else
    // the text goes to the trace sink.
    static void DefaultAlert(const char* text, const char* caption);
    // Milliseconds since an arbitrary origin, divided by 17.
    static unsigned long GetTickCount();
    // The primary screen, or all 0 without a display (GUI layer).
    static void GetScreenRectInPixels(KURect<short>& out);
    // The tool set's version for an existing module file.
    static KTErr GetVersionString(const kvFM::KCStPath& module, std::string& out);
    static KTErr GetCurrentDateAndTimeString(std::string& out);
    static KTErr Sleep(unsigned int milliseconds);
};

// Executable images (64-bit little-endian ELF) in memory. Every reader
// takes the image's size and checks every offset against it; data that is
// no such image gives null, false or 0.
const Elf64_Ehdr* KUGetModuleHeader(const void* image, size_t size);
// The first section whose name equals `name` (case-insensitive).
const Elf64_Shdr* KUGetSectionHeader(const char* name, const void* image, size_t size);
// The shared object's name (DT_SONAME); false when it has none.
bool KUGetModuleFileName(const void* image, size_t size, char* out, int outSize);
// The exported symbol `name` (case-insensitive): the image plus the
// symbol's offset in the file; null when absent.
const void* KUGetProcAddress(const void* image, size_t size, const char* name);
// Every exported symbol in table order; with null arrays only counts. At
// most `capacity` entries are stored; the result is the full count.
int KUGetExportedProcsList(const void* image, size_t size, const char** names, const void** procs,
                           int capacity);
// The whole file in a new block (delete[] of char); 0 when it cannot be
// read whole.
unsigned long LoadFileToMemory(const char* fileName, void*& out);
// The ".text" section's raw data in a new block (delete[] of char).
unsigned long LoadDataSegmentToMemory(const char* fileName, void*& out);
