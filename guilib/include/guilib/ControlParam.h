// Parameter records of the plug-in framework: one sCONTROL_PARAM per entry
// of a plug-in's parameter list, with per-setup state and real-world value,
// the scale and its conversions, the display function and the flags.
//
// Scales: continuous states run 0..1000. Linear: v = min + (max - min) s /
// 1000; logarithmic: v = min (max / min)^(s / 1000); a toggle of n states:
// states 0..n-1, v = min + s (max - min) / (n - 1). A named scale is linear
// until the plug-in attaches its own conversion.
#pragma once

#include "foundation/XMLElement.h"
#include "guilib/QGLExport.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The two setups: 0 'setA', 1 'setB'.
enum EPluginSetup : int32_t { eSetupA = 0, eSetupB = 1 };
inline constexpr int kNumSetups = 2;

// The scale of one parameter: minimum, maximum, resolution, number of
// states (toggles; 1001 for continuous scales) and the kind (a ScaleKind);
// the two lists are free for scales that need tables.
struct QGL_API sSCALE_INFO {
    enum ScaleKind { kLinear = 0, kLogarithmic = 1, kToggle = 2, kNone = 3 };
    double minimum = 0.0;
    double maximum = 1.0;
    double resolution = 1.0;
    double numStates = 1001.0;
    double kind = kLinear;
    std::vector<double> list1;
    std::vector<double> list2;
};

using StateToRealWorldFunc = double (*)(double state, const sSCALE_INFO* scale);
using RealWorldToStateFunc = double (*)(double value, const sSCALE_INFO* scale);
using DisplayFunc = void (*)(double state, double value, std::string& text);

// The framework's own scale conversions and display functions.
QGL_API double LinearStateToRealWorld(double state, const sSCALE_INFO* scale);
QGL_API double LinearRealWorldToState(double value, const sSCALE_INFO* scale);
QGL_API double LogStateToRealWorld(double state, const sSCALE_INFO* scale);
QGL_API double LogRealWorldToState(double value, const sSCALE_INFO* scale);
QGL_API double ToggleStateToRealWorld(double state, const sSCALE_INFO* scale);
QGL_API double ToggleRealWorldToState(double value, const sSCALE_INFO* scale);
// The display function of a name the framework knows ("DisplayFloat0/1/2",
// "DisplayState", "DisplayOnOff", "DisplayIgnore", "DisplayVuHold"), else
// null.
QGL_API DisplayFunc FrameworkDisplayFunc(const std::string& name);

// Flag bits of a parameter (the flags word).
enum EParamFlags : uint32_t {
    kParamNotSavable = 1u << 2,
    kParamDontUpdateWhileDrag = 1u << 3,
    kParamDontSaveToPreset = 1u << 5,
};

enum EParamType : int32_t {
    eParamContinuous = 0,
    eParamToggle = 1,
    eParamGraph = 2,
    eParamLabel = 3
};

struct QGL_API sCONTROL_PARAM {
    int32_t disabledMode[kNumSetups] = {0, 0};
    int32_t reserved1[8] = {};
    double state[kNumSetups] = {0.0, 0.0};
    double realWorld[kNumSetups] = {0.0, 0.0};
    double reserved2 = 0.0;
    double reserved3 = 0.0;
    double resetState = 0.0;
    double resetRealWorld = 0.0;
    EParamType type = eParamContinuous;
    uint32_t flags = 0;
    sSCALE_INFO scaleInfo;
    std::string valueString;
    int32_t updateFlag = 0;
    int32_t currentImage = 0;
    // The word that marks a band the chip has (all ones) or lacks (0).
    int32_t presenceWord = 0;
    int32_t reserved4 = 0;
    std::string scaleType;
    StateToRealWorldFunc stateToRealWorld = nullptr;
    RealWorldToStateFunc realWorldToState = nullptr;
    int32_t numStates = 1001;
    double stateStep = 1.0;
    DisplayFunc displayFunc = nullptr;
    // Framework-private: identification and graph data.
    std::string name;
    std::string label;
    std::string units;
    std::string displayFuncName;
    std::vector<double> graph[kNumSetups];

    // Conversions of the current scale (0 without a function).
    double StateToRealWorld(double state) const;
    double RealWorldToState(double value) const;
    // Real-world value from the stored state (kept when it already maps to it).
    double UpdateRealWorldFromState(EPluginSetup setup);
    // State from the stored real-world value; returns the state.
    double UpdateStateFromRealWorld(EPluginSetup setup);
    // Stores the value, its state, and sets the update flag to 3.
    void SetRealWorldAndUpdate(double value, EPluginSetup setup);
    void UpdateValueString(EPluginSetup setup);
    void TranslateValueString(double state, std::string& text) const;
    void GetValueString(std::string& text) const { text = valueString; }

    void SetScaleLinear(double minimum, double maximum, double resolution);
    void SetScaleLog(double minimum, double maximum, double resolution);
    void SetScaleToggle(long count);
    void SetDisplayFunc(DisplayFunc f) { displayFunc = f; }
    void SetLabelString(const std::string& text) { label = text; }
    void UpdateDisabledMode(bool disabled, EPluginSetup setup) {
        disabledMode[setup] = disabled ? 1 : 0;
    }
    int32_t GetDisabledMode(EPluginSetup setup) const { return disabledMode[setup]; }
    // The value's range is [minimum, maximum] of the scale (either order).
    bool ValidateRealWorld(double value) const;
    void LimitRealWorld(double& value) const;
    double* GetGraph(EPluginSetup setup) { return graph[setup].data(); }
    long GetGraphSize(EPluginSetup setup) const {
        return static_cast<long>(graph[setup].size() * sizeof(double));
    }

    long GetCurrentImageIndex() const { return currentImage; }
    void SetCurrentImage(long index) { currentImage = static_cast<int32_t>(index); }
    int32_t GetNumStates() const { return numStates; }
    double GetStateStep() const { return stateStep; }
    const std::string& GetScaleType() const { return scaleType; }
    EParamType GetType() const { return type; }
    uint32_t GetFlags() const { return flags; }
};

// An optional per-parameter extension; the data object is shared, never owned.
class QGL_API KCParamExtension : public kvXML::CXMLable {
public:
    class QGL_API Data {
    public:
        Data() = default;
        Data(const Data&) {}
        virtual ~Data() = default;
        virtual void Describe() const = 0;

    protected:
        Data& operator=(const Data&) { return *this; }
    };

    KCParamExtension() = default;
    KCParamExtension(const KCParamExtension& other) : kvXML::CXMLable(other), data_(other.data_) {}
    ~KCParamExtension() override = default;

    virtual void Apply() = 0;
    virtual void SetDataPtr(Data* data) { data_ = data; }
    virtual Data* GetDataPtr() const { return data_; }
    virtual Data* CreateData() const { return nullptr; }

protected:
    KCParamExtension& operator=(const KCParamExtension&) { return *this; }

private:
    Data* data_ = nullptr;
};

// Reads a parameter list ("Parameter_List" of "Parameter" elements, with
// "Parent" inheritance) into records; setups start at the initial value.
// eXMLElementMissing when the root is not a parameter list; eXMLAttribMissing
// for an entry without a name or with an unknown parent.
QGL_API long ReadParameterList(const kvXML::CXMLElement& root, std::vector<sCONTROL_PARAM>& out);
