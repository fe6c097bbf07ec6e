// The undo manager, the gesture command over a real algorithm, the value
// range and the system bar's broadcaster.
#include "TestXML.h"
#include "foundation/KURect.h"
#include "guilib/Algorithm.h"
#include "guilib/Ranged.h"
#include "guilib/SystemBar.h"
#include "guilib/Undo.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

using namespace kvUndo;

// Keeps every abstract default.
class BareManager : public KCUndoManagerAbs {
public:
    void InsertCommand(KTUndoCommandType*, EInsertToStackType) override {}
    void Undo() override {}
    void Redo() override {}
    bool CanUndo() const override { return false; }
    bool CanRedo() const override { return false; }
    unsigned GetUndoStackSize() const override { return 0; }
    std::string GetUndoCommandName(unsigned) const override { return {}; }
    unsigned GetRedoStackSize() const override { return 0; }
    std::string GetRedoCommandName(unsigned) const override { return {}; }
    void setUndoLevel(unsigned short) override {}
    unsigned short getUndoLevel() const override { return 0; }
};

// Adds its step to a shared counter on every execution.
class CountCommand : public Command {
public:
    CountCommand(const char* name, int& value, int step)
        : Command(name, 7), value_(value), step_(step) {}
    bool IsSameType(const Command* o) const override {
        return dynamic_cast<const CountCommand*>(o) != nullptr;
    }
    bool operator==(const Command& o) const override { return o.getName() == getName(); }
    void Execute() override {
        value_ += step_;
        step_ = -step_;
    }

private:
    int& value_;
    int step_;
};

TEST(UndoManager, AbstractDefaultsAndPendingEvents) {
    BareManager bare;
    bare.addEvent("x");
    EXPECT_EQ(bare.getNumPendingEvents(), 1);
    EXPECT_FALSE(bare.IsDirty());

    KCUndoManager m;
    EXPECT_EQ(m.getNumPendingEvents(), 0);
    m.addEvent("gain");
    m.addEvent("gain");
    m.addEvent("q");
    EXPECT_EQ(m.getNumPendingEvents(), 2);
    m.clearEvents();
    EXPECT_EQ(m.getNumPendingEvents(), 0);
    EXPECT_EQ(m.getUndoLevel(), 100);
}

TEST(UndoManager, UndoRedoAndTheChangeCount) {
    int value = 0;
    KCUndoManager m;
    EXPECT_FALSE(m.IsDirty());
    // A command holds the state before its change: executing it undoes it.
    value = 5;
    m.InsertCommand(new CountCommand("a", value, -5), eInsertToUndoStack);
    value = 8;
    m.InsertCommand(new CountCommand("b", value, -3), eInsertToUndoStack);
    EXPECT_TRUE(m.IsDirty());
    EXPECT_EQ(m.GetCleanCount(), 2);
    EXPECT_EQ(m.GetUndoCommandName(0), "b");
    EXPECT_EQ(m.GetUndoCommandName(5), "");
    m.SetClean();
    EXPECT_FALSE(m.IsDirty());
    m.Undo();
    EXPECT_EQ(value, 5);
    EXPECT_TRUE(m.IsDirty()); // the count moved again
    m.Undo();
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(m.CanUndo());
    m.Undo(); // nothing left: no change
    EXPECT_EQ(value, 0);
    EXPECT_EQ(m.GetRedoStackSize(), 2u);
    EXPECT_EQ(m.GetRedoCommandName(0), "a");
    m.Redo();
    EXPECT_EQ(value, 5);
    // A new change drops what could be redone.
    m.InsertCommand(new CountCommand("c", value, 1), eInsertToUndoStack);
    EXPECT_FALSE(m.CanRedo());
}

TEST(UndoManager, UndoLevelDropsTheOldestCommands) {
    int value = 0;
    KCUndoManager m;
    m.setUndoLevel(2);
    for (const char* n : {"1", "2", "3"})
        m.InsertCommand(new CountCommand(n, value, 1), eInsertToUndoStack);
    EXPECT_EQ(m.GetUndoStackSize(), 2u);
    EXPECT_EQ(m.GetUndoCommandName(1), "2");
    m.setUndoLevel(0);
    EXPECT_EQ(m.GetUndoStackSize(), 0u);
    m.InsertCommand(new CountCommand("4", value, 1), eInsertToUndoStack);
    EXPECT_EQ(m.GetUndoStackSize(), 0u);
}

TEST(UndoCommand, EventsNamesAndPresetCommand) {
    int value = 0;
    CountCommand c("move", value, 1);
    EXPECT_TRUE(c.getEvents().empty());
    EXPECT_EQ(c.getID(), 7u);
    c.SetEvents({"a", "b"});
    c.SetEvents(c.getEvents());
    EXPECT_EQ(c.getEvents().size(), 2u);
    CountCommand copy(c);
    EXPECT_EQ(copy.getEvents(), c.getEvents());

    KCUndoCommandPreset p("preset", 1, 0, 3), q("preset", 1, 0, 3), r("preset", 1, 1, 3);
    EXPECT_TRUE(p == q);
    EXPECT_FALSE(p == r);
    EXPECT_TRUE(p.IsSameType(&r));
    EXPECT_FALSE(p.IsSameType(&c));
}

// Records every parameter update the framework hands to the plug-in.
class UpdateRecorder : public cALGORITHM {
public:
    UpdateRecorder() : cALGORITHM(nullptr, nullptr) {}
    BUFFER_HEADER* UpdateParamStateSelf(unsigned long param) override {
        updates.emplace_back(param, (*GetParamVector())[param].state[GetActiveSetup()]);
        return nullptr;
    }
    std::vector<std::pair<unsigned long, double>> updates;
};

TEST(UndoCommand, GestureUndoAndRedoGoThroughTheUpdatePath) {
    UpdateRecorder alg;
    ASSERT_EQ(alg.FinishCreate(), 0);
    const std::string list = R"(<Parameter_List>
 <Parameter Name="BAL"><Scale><Minimum>0</Minimum><Maximum>240</Maximum><Resolution>1</Resolution>
  <ScaleType>linear</ScaleType></Scale><InitialValue Type="RealWorld">120</InitialValue></Parameter>
 <Parameter Name="MUTE"><Scale><Minimum>0</Minimum><Maximum>1</Maximum><Resolution>1</Resolution>
  <ScaleType>toggle</ScaleType></Scale><InitialValue Type="state">0</InitialValue></Parameter>
</Parameter_List>)";
    ASSERT_EQ(ReadParameterList(testxml::Parse(list), *alg.GetParamVector()), 0);

    KCUndoManager m;
    auto* gesture = new KCUndoCommandParams("drag", alg, {0, 1, 99}); // 99 does not exist
    EXPECT_EQ(gesture->GetStates().size(), 2u);
    EXPECT_FALSE(gesture->DiffersFromCurrent());
    alg.SetParamState(0, 1000);
    EXPECT_TRUE(gesture->DiffersFromCurrent());
    m.InsertCommand(gesture, eInsertToUndoStack);
    alg.updates.clear();
    m.Undo();
    EXPECT_DOUBLE_EQ((*alg.GetParamVector())[0].realWorld[0], 120);
    ASSERT_EQ(alg.updates.size(), 2u);
    EXPECT_EQ(alg.updates[0].first, 0u);
    EXPECT_DOUBLE_EQ(alg.updates[0].second, 500);
    m.Redo();
    EXPECT_DOUBLE_EQ((*alg.GetParamVector())[0].realWorld[0], 240);
    EXPECT_DOUBLE_EQ(alg.updates.back().second, 0); // the unchanged toggle is sent again
}

TEST(Ranged, ConstructionClampingAndSteps) {
    struct Case {
        long min, max, value, wantMin, wantMax, wantValue;
    };
    for (const Case& c : std::vector<Case>{{5, 1, 3, 0, 0, 0},
                                           {0, 10, 20, 0, 10, 10},
                                           {0, 10, -4, 0, 10, 0},
                                           {-3, 3, 2, -3, 3, 2}}) {
        TRanged<long> r(c.min, c.max, c.value);
        EXPECT_EQ(r.RangeMin(), c.wantMin);
        EXPECT_EQ(r.RangeMax(), c.wantMax);
        EXPECT_EQ(r.Value(), c.wantValue);
    }
    TRanged<long> r(0, 10, 0);
    --r;
    EXPECT_EQ(long(r), 0);
    TRanged<long> before = r++;
    EXPECT_EQ(before.Value(), 0);
    EXPECT_EQ(r.Value(), 1);
    r += 100;
    EXPECT_EQ(r.Value(), 10);
    r = -7;
    EXPECT_EQ(r.Value(), 0);
    // Operands at the type's ends clamp without overflowing.
    TRanged<long> wide(LONG_MIN + 1, LONG_MAX - 1, LONG_MAX - 2);
    wide += LONG_MAX;
    EXPECT_EQ(wide.Value(), LONG_MAX - 1);
    wide -= LONG_MIN;
    EXPECT_EQ(wide.Value(), LONG_MAX - 1);
    wide -= LONG_MAX;
    EXPECT_EQ(wide.Value(), -1);
    wide += LONG_MIN;
    EXPECT_EQ(wide.Value(), LONG_MIN + 1);
}

TEST(Ranged, SetWidenAndNarrowRange) {
    TRanged<long> r(0, 10, 8);
    r.SetRange(TRanged<long>(0, 5, 0));
    EXPECT_EQ(r.Value(), 5);
    r.WidenRange(TRanged<long>(-2, 3, 0));
    EXPECT_EQ(r.RangeMin(), -2);
    EXPECT_EQ(r.RangeMax(), 5);
    EXPECT_EQ(r.Value(), 5);
    // Containing and disjoint ranges change nothing.
    r.NarrowRange(TRanged<long>(-10, 10, 0));
    r.NarrowRange(TRanged<long>(20, 30, 0));
    EXPECT_EQ(r.RangeMin(), -2);
    EXPECT_EQ(r.RangeMax(), 5);
    r.NarrowRange(TRanged<long>(1, 9, 0));
    EXPECT_EQ(r.RangeMin(), 1);
    EXPECT_EQ(r.RangeMax(), 5);
    EXPECT_TRUE(r.InRange(3));
    EXPECT_FALSE(r.InRange(0));
}

struct Recorder : KCSystemBarListener {
    Recorder(std::vector<std::string>& log, std::string name) : log_(log), name_(std::move(name)) {}
    void System_ExecuteUndo(unsigned short n) override {
        log_.push_back(name_ + ":undo" + std::to_string(n));
    }
    void System_ExecutePluginSpecific(const std::string& s) override {
        log_.push_back(name_ + ":" + s);
    }
    std::vector<std::string>& log_;
    std::string name_;
};

TEST(SystemBar, BroadcastsInInsertionOrder) {
    KCSystemBarBroadcaster empty;
    empty.Broadcast_ExecuteReset(); // nobody listens: nothing happens
    std::vector<std::string> log;
    Recorder a(log, "a"), b(log, "b");
    KCSystemBarBroadcaster bar;
    bar.insert(&a);
    bar.insert(&b);
    bar.insert(&a);
    bar.Broadcast_ExecuteUndo(2);
    bar.Broadcast_ExecutePluginSpecific("Utilities");
    bar.Broadcast_ExecuteAbout(); // default hooks do nothing
    EXPECT_EQ(log, (std::vector<std::string>{"a:undo2", "b:undo2", "a:undo2", "a:Utilities",
                                             "b:Utilities", "a:Utilities"}));
}

TEST(Rect, IsEmpty) {
    EXPECT_TRUE(KURect<short>(0, 5, 10, 5).IsEmpty());
    EXPECT_TRUE(KURect<short>(4, 0, 4, 9).IsEmpty());
    EXPECT_FALSE(KURect<short>(0, 0, 1, 1).IsEmpty());
}

} // namespace
