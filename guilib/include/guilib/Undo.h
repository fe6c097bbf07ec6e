// The editor's undo stack: the abstract manager with its defaults, the
// manager (undo and redo lists, change count, pending events), the command
// base, the preset command, and the command of one editing gesture that
// holds the states of its parameters before the gesture.
#pragma once

#include "guilib/ControlParam.h"
#include "guilib/QGLExport.h"

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <utility>
#include <vector>

class cALGORITHM;

namespace kvUndo {

class Command;
using KTUndoCommandType = Command;

// Where InsertCommand puts a command: on the undo list (a new change, the
// redo list is dropped), or on the redo list (the command an undo made).
enum EInsertToStackType : int32_t { eInsertToUndoStack = 0, eInsertToRedoStack = 1 };

class QGL_API KCUndoManagerAbs {
public:
    KCUndoManagerAbs() = default;
    KCUndoManagerAbs(const KCUndoManagerAbs&) {}
    KCUndoManagerAbs& operator=(const KCUndoManagerAbs&) { return *this; }
    virtual ~KCUndoManagerAbs() = default;

    virtual void InsertCommand(KTUndoCommandType* command, EInsertToStackType where) = 0;
    virtual void Undo() = 0;
    virtual void Redo() = 0;
    virtual bool CanUndo() const = 0;
    virtual bool CanRedo() const = 0;
    virtual unsigned GetUndoStackSize() const = 0;
    virtual std::string GetUndoCommandName(unsigned index) const = 0;
    virtual unsigned GetRedoStackSize() const = 0;
    virtual std::string GetRedoCommandName(unsigned index) const = 0;
    virtual void setUndoLevel(unsigned short level) = 0;
    virtual unsigned short getUndoLevel() const = 0;
    virtual void addEvent(const std::string&) {}
    virtual void clearEvents() {}
    virtual long getNumPendingEvents() const { return 1; }
    virtual bool IsDirty() const { return false; }
    virtual void SetClean() {}
};

// Owns the commands of both lists. Undo executes the newest command of the
// undo list (which swaps the states it holds with the current ones) and
// moves it to the redo list; Redo does the reverse. The undo list keeps at
// most the undo level's number of commands, dropping the oldest.
class QGL_API KCUndoManager : public KCUndoManagerAbs {
public:
    static constexpr unsigned short kDefaultUndoLevel = 100;

    KCUndoManager() = default;
    // Copies share the command pointers; only the first manager owns them.
    KCUndoManager(const KCUndoManager& o);
    KCUndoManager& operator=(const KCUndoManager& o);
    ~KCUndoManager() override;

    void InsertCommand(KTUndoCommandType* command, EInsertToStackType where) override;
    void Undo() override;
    void Redo() override;
    bool CanUndo() const override { return !undoList_.empty(); }
    bool CanRedo() const override { return !redoList_.empty(); }
    unsigned GetUndoStackSize() const override { return static_cast<unsigned>(undoList_.size()); }
    // Index 0 is the newest command; an index past the end gives "".
    std::string GetUndoCommandName(unsigned index) const override;
    unsigned GetRedoStackSize() const override { return static_cast<unsigned>(redoList_.size()); }
    std::string GetRedoCommandName(unsigned index) const override;
    void setUndoLevel(unsigned short level) override;
    unsigned short getUndoLevel() const override { return static_cast<unsigned short>(level_); }
    void addEvent(const std::string& name) override { pending_.insert(name); }
    void clearEvents() override { pending_.clear(); }
    long getNumPendingEvents() const override { return static_cast<long>(pending_.size()); }
    bool IsDirty() const override { return changeCount_ != 0; }
    void SetClean() override { changeCount_ = 0; }
    int32_t GetCleanCount() const { return changeCount_; }

private:
    void FreeList(std::list<Command*>& list);
    void TrimUndoList();

    std::list<Command*> undoList_;
    std::list<Command*> redoList_;
    uint32_t level_ = kDefaultUndoLevel;
    int32_t changeCount_ = 0;
    uint32_t owns_ = 1; // 1: this manager frees the commands
    std::set<std::string> pending_;
};

using KTUndoManagerType = KCUndoManager;

class QGL_API Command {
public:
    Command(const char* name, uint32_t id) : name_(name ? name : ""), id_(id) {}
    Command(const Command&) = default;
    Command& operator=(const Command&) = default;
    virtual ~Command() = default;

    virtual bool IsSameType(const Command* other) const = 0;
    virtual bool operator==(const Command& other) const = 0;
    virtual void Execute() = 0;
    virtual void SetEvents(const std::set<std::string>& events) {
        if (&events != &events_)
            events_ = events;
    }

    const std::string& getName() const { return name_; }
    uint32_t& getID() { return id_; }
    const std::set<std::string>& getEvents() const { return events_; }

private:
    std::string name_;
    uint32_t id_;
    std::set<std::string> events_;
};

// A preset load, named by the setup it was loaded into and the preset's
// number. It holds no states: executing it changes nothing.
class QGL_API KCUndoCommandPreset : public Command {
public:
    KCUndoCommandPreset(const char* name, uint32_t id, uint32_t setup, uint32_t preset)
        : Command(name, id), setup_(setup), preset_(preset) {}
    bool IsSameType(const Command* other) const override;
    bool operator==(const Command& other) const override;
    void Execute() override {}
    uint32_t GetSetup() const { return setup_; }
    uint32_t GetPreset() const { return preset_; }

private:
    uint32_t setup_;
    uint32_t preset_;
};

// One gesture on a control (mouse-down to mouse-up, or one key step): the
// states of the control's parameters in the active setup before it.
// Executing it puts those states back through the algorithm's update path
// (so the hardware hears the change) and keeps the states it replaced, so
// the next execution redoes the gesture. After a switch of the active setup
// it changes the setup it was made in, not the active one.
class QGL_API KCUndoCommandParams : public Command {
public:
    using StateList = std::vector<std::pair<unsigned long, double>>;

    // Reads the current states of `params` from the algorithm.
    KCUndoCommandParams(const char* name, cALGORITHM& alg,
                        const std::vector<unsigned long>& params);
    bool IsSameType(const Command* other) const override;
    bool operator==(const Command& other) const override;
    void Execute() override;
    const StateList& GetStates() const { return states_; }
    // True when some parameter's state differs from the one held (the
    // gesture changed something worth an undo step).
    bool DiffersFromCurrent() const;

private:
    double CurrentState(unsigned long param) const;

    cALGORITHM* alg_;
    EPluginSetup setup_;
    StateList states_;
};

} // namespace kvUndo
