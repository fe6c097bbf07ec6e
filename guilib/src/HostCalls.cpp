// The algorithm's operations behind the host's calls: initialisation,
// coefficient refresh, parameter states, setups (and their copy) and the
// coefficient copy.
#include "guilib/Algorithm.h"

#include <algorithm>
#include <cstring>

long cALGORITHM::InitAlg(bool) {
    InitStates();
    ResetStatesSelf();
    // Last: the plug-in brings its hardware up.
    return ResetHardwareSelf();
}

long cALGORITHM::UpdateDSPCoefs(bool) {
    for (unsigned long i = 0; i < params_.size(); ++i)
        UpdateParamState(i);
    return 0;
}

double cALGORITHM::GetParamState(unsigned long param) const {
    if (param >= params_.size())
        return 0.0;
    return params_[param].state[activeSetup_];
}

long cALGORITHM::InitProcessCode() {
    InitProcessCodeSelf();
    return 0;
}

long cALGORITHM::GetDSPCoefs(char* buffer) {
    const std::vector<char>& area = coefs_[activeSetup_];
    if (buffer && !area.empty())
        std::memcpy(buffer, area.data(), area.size());
    return static_cast<long>(area.size());
}

bool cALGORITHM::ChangeActiveSetup(long setup) {
    if (setup < 0 || setup >= kNumSetups || setup == activeSetup_)
        return false;
    activeSetup_ = static_cast<EPluginSetup>(setup);
    Broadcaster()->Broadcast_ActiveSetupChanged(activeSetup_);
    return true;
}

long cALGORITHM::CopySetup(long from, long to) {
    if (from < 0 || from >= kNumSetups || to < 0 || to >= kNumSetups || from == to)
        return eGenericErr;
    for (sCONTROL_PARAM& p : params_) {
        p.state[to] = p.state[from];
        p.realWorld[to] = p.realWorld[from];
        p.disabledMode[to] = p.disabledMode[from];
        p.graph[to] = p.graph[from];
    }
    coefs_[to] = coefs_[from];
    bypassCoefs_[to] = bypassCoefs_[from];
    setupNames_[to] = setupNames_[from];
    CopySetupSelf(from, to);
    // Every editor tied to the algorithm shows the copied setup's title.
    Broadcaster()->Broadcast_SetupTitleChanged(static_cast<EPluginSetup>(to), &setupNames_[to]);
    if (to == activeSetup_)
        UpdateDSPCoefs(true);
    return 0;
}
