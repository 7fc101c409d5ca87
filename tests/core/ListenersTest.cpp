#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/core/PassThroughUnit.h"

namespace {

using marvex::test::PassThroughUnit;

struct Call {
    std::string who;
    AudioUnit unit;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
};

// Every listener's context is one of these; they all log into one shared call list.
struct Listener {
    std::string name;
    std::vector<Call>* log;
    AUBase* unit = nullptr;
    // What the listener does to the list while it is being called.
    enum class Action { None, RemoveSelf, RemoveOther, AddOther, Nested } action = Action::None;
    Listener* other = nullptr;
    AudioUnitPropertyID otherID = 0;  // the id RemoveOther acts on; 0: the id being announced
};

void Proc(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
          AudioUnitElement element);

void OtherProc(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
               AudioUnitElement element) {
    auto* l = static_cast<Listener*>(refCon);
    l->log->push_back({l->name + "*", unit, id, scope, element});
}

void Proc(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
          AudioUnitElement element) {
    auto* l = static_cast<Listener*>(refCon);
    l->log->push_back({l->name, unit, id, scope, element});
    switch (l->action) {
        case Listener::Action::None:
            break;
        case Listener::Action::RemoveSelf:
            l->unit->RemovePropertyListener(id, Proc, l, true);
            break;
        case Listener::Action::RemoveOther:
            l->unit->RemovePropertyListener(l->otherID ? l->otherID : id, Proc, l->other, true);
            break;
        case Listener::Action::AddOther:
            l->unit->AddPropertyListener(id, Proc, l->other);
            break;
        case Listener::Action::Nested:
            l->action = Listener::Action::None;  // once
            l->unit->PropertyChanged(id + 1, scope, element);
            break;
    }
}

std::vector<std::string> Names(const std::vector<Call>& log) {
    std::vector<std::string> out;
    for (const Call& c : log) out.push_back(c.who);
    return out;
}

using Names_t = std::vector<std::string>;

class ListenersTest : public ::testing::Test {
protected:
    ListenersTest() : unit(reinterpret_cast<ComponentInstance>(0x1234)) {}
    Listener Make(const std::string& name) {
        Listener l;
        l.name = name;
        l.log = &log;
        l.unit = &unit;
        return l;
    }

    PassThroughUnit unit;
    std::vector<Call> log;
};

TEST_F(ListenersTest, CallsMatchingListenersInOrderAndRemovesByContextOnlyWhenGiven) {
    Listener a = Make("a"), b = Make("b");
    unit.AddPropertyListener(8, Proc, &a);
    unit.AddPropertyListener(14, Proc, &b);
    unit.AddPropertyListener(8, Proc, &b);
    unit.AddPropertyListener(8, Proc, &a);  // a duplicate is called again
    unit.AddPropertyListener(8, OtherProc, &a);

    unit.PropertyChanged(8, kAudioUnitScope_Global, 3);
    ASSERT_EQ(Names(log), (Names_t{"a", "b", "a", "a*"}));
    EXPECT_EQ(log[0].unit, unit.GetComponentInstance());
    EXPECT_EQ(log[0].id, 8u);
    EXPECT_EQ(log[0].scope, kAudioUnitScope_Global);
    EXPECT_EQ(log[0].element, 3u);

    EXPECT_EQ(unit.RemovePropertyListener(9, Proc, nullptr, false), noErr);  // never added
    EXPECT_EQ(unit.RemovePropertyListener(8, Proc, &a, true), noErr);
    log.clear();
    unit.PropertyChanged(8, 0, 0);
    EXPECT_EQ(Names(log), (Names_t{"b", "a*"})) << "both entries of (Proc, a) go, no other";

    EXPECT_EQ(unit.RemovePropertyListener(8, Proc, nullptr, false), noErr);
    log.clear();
    unit.PropertyChanged(8, 0, 0);
    unit.PropertyChanged(14, 0, 0);
    unit.PropertyChanged(99, 0, 0);  // nobody listens
    EXPECT_EQ(Names(log), (Names_t{"a*", "b"})) << "every context of (8, Proc) goes";
}

TEST_F(ListenersTest, ListenersMayChangeTheListWhileItIsWalked) {
    Listener a = Make("a"), b = Make("b"), c = Make("c"), d = Make("d");
    a.action = Listener::Action::RemoveSelf;
    b.action = Listener::Action::RemoveOther;
    b.other = &c;
    c.action = Listener::Action::AddOther;  // never runs: b removes c first
    c.other = &d;
    unit.AddPropertyListener(8, Proc, &a);
    unit.AddPropertyListener(8, Proc, &b);
    unit.AddPropertyListener(8, Proc, &c);

    unit.PropertyChanged(8, 0, 0);
    EXPECT_EQ(Names(log), (Names_t{"a", "b"})) << "a removal takes effect at once";
    log.clear();
    unit.PropertyChanged(8, 0, 0);
    EXPECT_EQ(Names(log), (Names_t{"b"}));

    // An addition is heard from the next change on.
    Listener e = Make("e");
    e.action = Listener::Action::AddOther;
    e.other = &d;
    unit.AddPropertyListener(20, Proc, &e);
    log.clear();
    unit.PropertyChanged(20, 0, 0);
    EXPECT_EQ(Names(log), (Names_t{"e"}));
    e.action = Listener::Action::None;
    log.clear();
    unit.PropertyChanged(20, 0, 0);
    EXPECT_EQ(Names(log), (Names_t{"e", "d"}));
}

TEST_F(ListenersTest, NestedChangesAndRemovalsInsideThemKeepTheOuterWalkIntact) {
    Listener a = Make("a"), b = Make("b"), inner = Make("inner");
    a.action = Listener::Action::Nested;  // announces id 31 from inside the walk of 30
    inner.action = Listener::Action::RemoveOther;
    inner.other = &b;  // removes the outer walk's next listener
    inner.otherID = 30;
    unit.AddPropertyListener(30, Proc, &a);
    unit.AddPropertyListener(30, Proc, &b);
    unit.AddPropertyListener(31, Proc, &inner);

    unit.PropertyChanged(30, 0, 0);
    EXPECT_EQ(Names(log), (Names_t{"a", "inner"}));
    log.clear();
    unit.PropertyChanged(30, 0, 0);
    unit.PropertyChanged(31, 0, 0);
    EXPECT_EQ(Names(log), (Names_t{"a", "inner"}));
}

}  // namespace
