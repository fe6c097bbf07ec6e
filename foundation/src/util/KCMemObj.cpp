#include "foundation/KCMemObj.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

// The record is {size, pointer}, in this order and nothing else.
static_assert(std::is_standard_layout_v<KCMemObj>);
static_assert(sizeof(KCMemObj) == sizeof(unsigned long) + sizeof(void*));

namespace {

// malloc(0) may answer null; a block of zero bytes is still a block.
size_t HeapSize(unsigned long size) {
    return size == 0 ? 1 : size;
}

} // namespace

void* KCMemUtils::NewKTPtr(unsigned long size) {
    return std::malloc(HeapSize(size));
}

void* KCMemUtils::NewKTPtrClear(unsigned long size) {
    return std::calloc(1, HeapSize(size));
}

void KCMemUtils::DisposeKTPtr(void*& block) {
    if (block != nullptr) {
        std::free(block);
        block = nullptr;
    }
}

KTErr KCMemUtils::ResizeKTPtr(void*& block, unsigned long size) {
    if (block == nullptr) {
        block = NewKTPtr(size);
        return block != nullptr ? eNoErr : eMemNewTPtrFailed;
    }
    void* resized = std::realloc(block, HeapSize(size));
    if (resized == nullptr)
        return ConvertErrorPOSIX(ENOMEM);
    block = resized;
    return eNoErr;
}

KTErr KCMemUtils::DuplicateKTPtr(const void* source, unsigned long size, void*& copy) {
    copy = nullptr;
    if (source == nullptr && size != 0)
        return eMemNullPointer;
    copy = NewKTPtrClear(size);
    if (copy == nullptr)
        return eMemNewTPtrFailed;
    if (size != 0)
        std::memcpy(copy, source, size);
    return eNoErr;
}

KCMemObj::KCMemObj(unsigned long size, bool clear) {
    if (clear)
        NewPtrClear(size);
    else
        NewPtr(size);
}

KCMemObj::KCMemObj(const KCMemObj& other) {
    CopyFrom(other);
}

KCMemObj& KCMemObj::operator=(const KCMemObj& other) {
    if (&other != this)
        CopyFrom(other);
    return *this;
}

void KCMemObj::CopyFrom(const KCMemObj& other) {
    size = 0;
    ptr = nullptr;
    if (other.ptr == nullptr)
        return;
    void* copy = nullptr;
    if (KCMemUtils::DuplicateKTPtr(other.ptr, other.size, copy) == eNoErr) {
        ptr = copy;
        size = other.size;
    }
}

void* KCMemObj::NewPtr(unsigned long newSize) {
    ptr = KCMemUtils::NewKTPtr(newSize);
    size = ptr != nullptr ? newSize : 0;
    return ptr;
}

void* KCMemObj::NewPtrClear(unsigned long newSize) {
    ptr = KCMemUtils::NewKTPtrClear(newSize);
    size = ptr != nullptr ? newSize : 0;
    return ptr;
}

void KCMemObj::DisposePtr() {
    KCMemUtils::DisposeKTPtr(ptr);
    size = 0;
}

KTErr KCMemObj::ResizePtr(unsigned long newSize) {
    const KTErr err = KCMemUtils::ResizeKTPtr(ptr, newSize);
    if (err == eNoErr)
        size = newSize;
    return err;
}

KTErr KCMemObj::Assign(const char* data, unsigned length) {
    if (data == nullptr && length != 0)
        return eMemNullPointer;
    const KTErr err = KCMemUtils::ResizeKTPtr(ptr, length);
    if (err != eNoErr)
        return err;
    size = length;
    if (length != 0)
        std::memcpy(ptr, data, length);
    return eNoErr;
}

KTErr KCMemObj::Assign(const char* first, const char* last) {
    if (last < first)
        return eMemNullPointer;
    return Assign(first, static_cast<unsigned>(last - first));
}

void KCMemObj::TakeOver(KCMemObj& other) {
    if (&other == this)
        return;
    DisposePtr();
    ptr = std::exchange(other.ptr, nullptr);
    size = std::exchange(other.size, 0);
}

void KCMemObj::Swap(KCMemObj& a, KCMemObj& b) {
    std::swap(a.ptr, b.ptr);
    std::swap(a.size, b.size);
}
