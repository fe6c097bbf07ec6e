// The connection over the bus library with the command decoder and logger
// (libbusgate_c.so).
#pragma once

#include "busaccess/busgate/busgate_api.h"
#include "plugin/ConnectBridged.h"

class CConnectTelos final : public CConnectBridged {
public:
    static constexpr uint32_t kBitrate = 100000;

    explicit CConnectTelos(std::shared_ptr<CTickClock> clock = SystemTickClock());
    ~CConnectTelos() override;

    // The code of the last status record.
    int32_t GetStatus() override;
    // A copy of the last status record.
    busgate_status LastStatus();

protected:
    bool HasHandle() const override { return handle_ != 0; }
    bool CanReuseHandle() const override;
    void CloseHandle() override;
    void OpenBridge() override;
    BridgeResult BridgeWrite(const uint8_t* data, uint32_t length, std::string& failure) override;
    BridgeResult BridgeRead(uint8_t* buffer, uint32_t length) override;
    bool TracesFailedReads() const override { return true; }

private:
    void ForgetBusy();

    busgate_handle handle_ = 0;
    busgate_status status_{};
};
