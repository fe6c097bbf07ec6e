// The plug-in's I2C connection interface. Used bare, it stands for "no
// connection": every transfer fails, the slave address reads as 0 (so the
// frame transport refuses every frame), and only the trace flag is kept.
// Results are truth values: non-zero = success.
#pragma once

#include <atomic>
#include <cstdint>

// The editor window that asked for a status report (opaque here).
using DulmOwnerWindow = void*;

class CConnectI2C {
public:
    CConnectI2C() = default;
    CConnectI2C(const CConnectI2C&) = delete;
    CConnectI2C& operator=(const CConnectI2C&) = delete;
    virtual ~CConnectI2C() = default;

    virtual int32_t Connect() { return 0; }
    virtual int32_t Write(const uint8_t* data, uint32_t length, int32_t force) { return 0; }
    // Writes {first, command, third}: the command byte goes in the middle.
    virtual int32_t WriteTriple(uint8_t command, uint8_t first, uint8_t third, int32_t force);
    virtual int32_t Read(uint8_t* buffer, uint32_t length) { return 0; }
    virtual int32_t GetStatus() { return 0; }
    virtual void ReportStatus(DulmOwnerWindow owner) {}
    virtual void SetSlaveAddress(uint8_t address) {}
    virtual uint8_t GetSlaveAddress() { return 0; }
    virtual void SetTrace(int32_t flag) { trace_ = flag; }
    virtual int32_t GetTrace() { return trace_; }

protected:
    std::atomic<int32_t> trace_{1};
};
