// Heap blocks: the static helpers of KCMemUtils and the block record KCMemObj
// {size, pointer}. A KCMemObj has no destructor; its owner calls DisposePtr.
#pragma once

#include "foundation/KTErr.h"

class KCMemUtils {
public:
    // A new block, or null when the heap refuses.
    static void* NewKTPtr(unsigned long size);
    // The same, zero-filled.
    static void* NewKTPtrClear(unsigned long size);
    // Frees a non-null block and sets the pointer to null.
    static void DisposeKTPtr(void*& block);
    // Allocates a null block (-4002 on failure) or reallocates an existing one
    // keeping its contents up to the smaller size. On failure the old block
    // stays as it was and the heap's error is returned.
    static KTErr ResizeKTPtr(void*& block, unsigned long size);
    // A new block of `size` bytes holding a copy of `source`. On failure `copy`
    // is null and -4002 is returned (-4003 for a null source).
    static KTErr DuplicateKTPtr(const void* source, unsigned long size, void*& copy);
};

class KCMemObj {
public:
    KCMemObj() = default;
    // A new block (zero-filled when `clear`); the size stays 0 when the heap
    // refused.
    KCMemObj(unsigned long size, bool clear);
    // A new block holding a copy of the other's bytes. Assignment does not
    // release a block this record holds: its owner disposes it first.
    KCMemObj(const KCMemObj& other);
    KCMemObj& operator=(const KCMemObj& other);

    // Record a new block and its size (0 when the heap refused) and return it.
    void* NewPtr(unsigned long size);
    void* NewPtrClear(unsigned long size);
    void DisposePtr();
    // Resizes the held block; the size changes only on success.
    KTErr ResizePtr(unsigned long size);
    KTErr Assign(const char* data, unsigned size);
    KTErr Assign(const char* first, const char* last);
    // Frees the own block, adopts the other's and empties the other.
    void TakeOver(KCMemObj& other);
    static void Swap(KCMemObj& a, KCMemObj& b);

    bool Empty() const { return size == 0; }
    void* GetPtr() const { return ptr; }
    unsigned long GetPtrSize() const { return size; }

private:
    void CopyFrom(const KCMemObj& other);

    unsigned long size = 0;
    void* ptr = nullptr;
};
