// Base class of every framework object that can fail in its constructor:
// it carries one status code.
#pragma once

#include "foundation/KTErr.h"

class KUValidatable {
public:
    KUValidatable(KTErr error = eNoErr) : error(error) {}
    KUValidatable(const KUValidatable& other) : error(other.error) {}
    KUValidatable& operator=(const KUValidatable& other) {
        error = other.error;
        return *this;
    }
    virtual ~KUValidatable() = default;

    bool IsValid() const { return IsValidSelf() && error == eNoErr; }
    bool IsValid(KTErr& outError) const {
        outError = error;
        return IsValid();
    }
    KTErr GetError() const { return error; }
    void SetError(KTErr e) const { error = e; }
    const char* ErrorName() const { return KTErrName(error); }

protected:
    virtual bool IsValidSelf() const { return true; }

    mutable KTErr error;
};
