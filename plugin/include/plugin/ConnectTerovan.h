// The connection over the plain bridge library (libTerovanU2C.so): the
// plug-in's default connection.
#pragma once

#include "plugin/ConnectBridged.h"

class CConnectTerovan final : public CConnectBridged {
public:
    static constexpr uint32_t kClockHz = 100000;

    explicit CConnectTerovan(std::shared_ptr<CTickClock> clock = SystemTickClock());
    ~CConnectTerovan() override;

    // True when the last library call left the handle unusable.
    virtual bool IsHandleInvalid();

protected:
    bool HasHandle() const override { return handle_ != -1; }
    bool CanReuseHandle() const override { return usable_ != 0; }
    void CloseHandle() override;
    void OpenBridge() override;
    BridgeResult BridgeWrite(const uint8_t* data, uint32_t length, std::string& failure) override;
    BridgeResult BridgeRead(uint8_t* buffer, uint32_t length) override;

private:
    int32_t handle_ = -1;
    int32_t usable_ = 1;
};
