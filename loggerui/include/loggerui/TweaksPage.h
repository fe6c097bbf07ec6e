// " Tweaks": the view of the tweaks page (code, linear volume, SRC, tone
// generator and level meters) over its service.
#pragma once

#include "loggerui/TweaksService.h"

#include <wx/control.h>
#include <wx/dialog.h>
#include <wx/timer.h>

#include <array>
#include <atomic>
#include <cstdint>

class wxButton;
class wxCheckBox;
class wxChoice;
class wxSlider;
class wxTextCtrl;

namespace loggerui {

class WxLogger;

namespace tweaksid {
inline constexpr int kPage = 142;
inline constexpr int kButton = 1161, kLinearBox = 1253;
inline constexpr int kMainSlider = 1255, kSubSlider = 1261, kMainEdit = 1257, kSubEdit = 1263;
inline constexpr int kSrcPreset = 1165, kSrcRatio = 1267, kTweaksPreset = 1341;
inline constexpr int kSampleRate = 1237, kLeftFreqEdit = 1217, kRightFreqEdit = 1221;
inline constexpr int kLeftFreqSlider = 1219, kRightFreqSlider = 1223;
inline constexpr int kLeftLevelEdit = 1225, kRightLevelEdit = 1229;
inline constexpr int kLeftLevelSlider = 1227, kRightLevelSlider = 1231;
inline constexpr int kPhaseEdit = 1233, kPhaseSlider = 1235, kToneBox = 1215;
inline constexpr int kUpdateRate = 1291, kLevelBox = 1163;
// Meters in the service's order: pre left, pre right, post left, post
// right, post sub.
inline constexpr std::array<int, kMeters> kMeterBars = {1285, 1289, 1273, 1277, 1281};
inline constexpr std::array<int, kMeters> kMeterTexts = {1287, 1187, 1275, 1279, 1283};
} // namespace tweaksid

// A level bar: a range of 0..1030 filled in a COLORREF (0x00BBGGRR).
class MeterBar final : public wxControl {
public:
    MeterBar(wxWindow* parent, int id);
    void SetLevel(int position, uint32_t colourRef);
    int Position() const { return position_; }
    uint32_t ColourRef() const { return colour_; }

private:
    void OnPaint(wxPaintEvent& event);
    wxSize DoGetBestSize() const override { return {200, 14}; }
    int position_ = 0;
    uint32_t colour_ = 0x00FF00;
};

class CTweaks_Dialog final : public wxDialog {
public:
    CTweaks_Dialog(WxLogger& logger, TweaksService& service);
    // Builds the window, hidden; false when the toolkit could not make it.
    bool Create(wxWindow* parent);
    // Shows the service's state (GUI thread).
    void Refresh();
    // Starts (ms >= 0) or stops a page timer (GUI thread).
    void Arm(int timer, int ms);
    bool TimerRunning(int timer) const;

private:
    void Build();
    void OnSrcPreset();
    void EditFocus(wxTextCtrl* edit, bool gained);

    WxLogger& logger_;
    TweaksService& service_;
    wxTimer meterTimer_, readyTimer_;
    wxButton* button_ = nullptr;
    wxCheckBox *linearBox_ = nullptr, *srcPreset_ = nullptr, *tweaksPreset_ = nullptr;
    wxCheckBox *toneBox_ = nullptr, *levelBox_ = nullptr;
    wxSlider *mainSlider_ = nullptr, *subSlider_ = nullptr;
    wxTextCtrl *mainEdit_ = nullptr, *subEdit_ = nullptr;
    wxChoice *srcRatio_ = nullptr, *sampleRate_ = nullptr, *updateRate_ = nullptr;
    std::array<wxTextCtrl*, 2> freqEdits_{}, levelEdits_{};
    std::array<wxSlider*, 2> freqSliders_{}, levelSliders_{};
    wxTextCtrl* phaseEdit_ = nullptr;
    wxSlider* phaseSlider_ = nullptr;
    std::array<MeterBar*, kMeters> bars_{};
    std::array<wxTextCtrl*, kMeters> meterTexts_{};
};

} // namespace loggerui
