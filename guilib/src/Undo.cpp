// The undo manager's stack and the gesture command.
#include "guilib/Undo.h"

#include "guilib/Algorithm.h"

namespace kvUndo {

KCUndoManager::KCUndoManager(const KCUndoManager& o)
    : KCUndoManagerAbs(o), undoList_(o.undoList_), redoList_(o.redoList_), level_(o.level_),
      changeCount_(o.changeCount_), owns_(0), pending_(o.pending_) {}

KCUndoManager& KCUndoManager::operator=(const KCUndoManager& o) {
    if (this == &o)
        return *this;
    if (owns_) {
        FreeList(undoList_);
        FreeList(redoList_);
    }
    undoList_ = o.undoList_;
    redoList_ = o.redoList_;
    level_ = o.level_;
    changeCount_ = o.changeCount_;
    owns_ = 0;
    pending_ = o.pending_;
    return *this;
}

KCUndoManager::~KCUndoManager() {
    if (owns_) {
        FreeList(undoList_);
        FreeList(redoList_);
    }
}

void KCUndoManager::FreeList(std::list<Command*>& list) {
    for (Command* c : list)
        delete c;
    list.clear();
}

void KCUndoManager::TrimUndoList() {
    while (undoList_.size() > level_) {
        if (owns_)
            delete undoList_.back();
        undoList_.pop_back();
    }
}

void KCUndoManager::InsertCommand(KTUndoCommandType* command, EInsertToStackType where) {
    if (!command)
        return;
    if (level_ == 0) {
        if (owns_)
            delete command;
        return;
    }
    if (where == eInsertToRedoStack) {
        redoList_.push_front(command);
        return;
    }
    if (owns_)
        FreeList(redoList_);
    else
        redoList_.clear();
    undoList_.push_front(command);
    ++changeCount_;
    TrimUndoList();
}

void KCUndoManager::Undo() {
    if (undoList_.empty())
        return;
    Command* c = undoList_.front();
    undoList_.pop_front();
    c->Execute();
    redoList_.push_front(c);
    --changeCount_;
}

void KCUndoManager::Redo() {
    if (redoList_.empty())
        return;
    Command* c = redoList_.front();
    redoList_.pop_front();
    c->Execute();
    undoList_.push_front(c);
    ++changeCount_;
    TrimUndoList();
}

namespace {
std::string NameAt(const std::list<Command*>& list, unsigned index) {
    if (index >= list.size())
        return {};
    auto it = list.begin();
    std::advance(it, index);
    return (*it)->getName();
}
} // namespace

std::string KCUndoManager::GetUndoCommandName(unsigned index) const {
    return NameAt(undoList_, index);
}

std::string KCUndoManager::GetRedoCommandName(unsigned index) const {
    return NameAt(redoList_, index);
}

void KCUndoManager::setUndoLevel(unsigned short level) {
    level_ = level;
    TrimUndoList();
}

bool KCUndoCommandPreset::IsSameType(const Command* other) const {
    return dynamic_cast<const KCUndoCommandPreset*>(other) != nullptr;
}

bool KCUndoCommandPreset::operator==(const Command& other) const {
    auto* o = dynamic_cast<const KCUndoCommandPreset*>(&other);
    return o && o->getName() == getName() && o->setup_ == setup_ && o->preset_ == preset_;
}

double KCUndoCommandParams::CurrentState(unsigned long param) const {
    return (*alg_->GetParamVector())[param].state[setup_];
}

KCUndoCommandParams::KCUndoCommandParams(const char* name, cALGORITHM& alg,
                                         const std::vector<unsigned long>& params)
    : Command(name, 0), alg_(&alg), setup_(alg.GetActiveSetup()) {
    const unsigned long count = alg.GetParamVector()->size();
    for (unsigned long p : params)
        if (p < count)
            states_.emplace_back(p, CurrentState(p));
}

bool KCUndoCommandParams::IsSameType(const Command* other) const {
    return dynamic_cast<const KCUndoCommandParams*>(other) != nullptr;
}

bool KCUndoCommandParams::operator==(const Command& other) const {
    auto* o = dynamic_cast<const KCUndoCommandParams*>(&other);
    return o && o->alg_ == alg_ && o->setup_ == setup_ && o->states_ == states_;
}

bool KCUndoCommandParams::DiffersFromCurrent() const {
    for (const auto& [param, state] : states_)
        if (CurrentState(param) != state)
            return true;
    return false;
}

void KCUndoCommandParams::Execute() {
    const bool active = setup_ == alg_->GetActiveSetup();
    for (auto& [param, state] : states_) {
        const double now = CurrentState(param);
        if (active) {
            alg_->SetParamState(param, state);
        } else {
            // The setup the gesture changed is not on the device now: only
            // its record changes, and it goes out when it is active again.
            sCONTROL_PARAM& p = (*alg_->GetParamVector())[param];
            p.state[setup_] = state;
            p.UpdateRealWorldFromState(setup_);
        }
        state = now;
    }
}

} // namespace kvUndo
