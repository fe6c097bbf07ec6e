// The connection over the Dimax USB-to-I2C adapter library (libi2cbrdg.so).
#pragma once

#include "dimax/i2cbrdg.h"
#include "plugin/ConnectBridged.h"

// The adapter functions the connection calls; by default the library's.
struct SDimaxApi {
    U2C_HANDLE (*OpenDevice)(uint8_t device);
    U2C_RESULT (*SetI2cFreq)(U2C_HANDLE handle, uint8_t frequency);
    U2C_RESULT (*Write)(U2C_HANDLE handle, const U2C_TRANSACTION* transaction);
    U2C_RESULT (*Read)(U2C_HANDLE handle, U2C_TRANSACTION* transaction);
    U2C_RESULT (*CloseDevice)(U2C_HANDLE handle);
};
const SDimaxApi& DimaxLibraryApi();

// The record of the adapter's read and write calls.
using DimaxTransaction = U2C_TRANSACTION;

// The text of a U2C result code.
const char* U2CStatusName(uint32_t code);

class CConnectDimax final : public CConnectBridged {
public:
    explicit CConnectDimax(const SDimaxApi& api = DimaxLibraryApi(),
                           std::shared_ptr<CTickClock> clock = SystemTickClock());
    ~CConnectDimax() override;

    // The last U2C result code.
    int32_t GetStatus() override;

protected:
    bool HasHandle() const override { return handle_ != U2C_INVALID_HANDLE; }
    bool CanReuseHandle() const override { return status_ == U2C_SUCCESS; }
    void CloseHandle() override;
    void OpenBridge() override;
    BridgeResult BridgeWrite(const uint8_t* data, uint32_t length, std::string& failure) override;
    BridgeResult BridgeRead(uint8_t* buffer, uint32_t length) override;

private:
    SDimaxApi api_;
    U2C_HANDLE handle_ = U2C_INVALID_HANDLE;
    int32_t status_ = U2C_SUCCESS;
};
