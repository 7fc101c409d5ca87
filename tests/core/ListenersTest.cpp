#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tests/core/PassThroughUnit.h"

namespace {

using marvex::test::PassThroughUnit;
using Names = std::vector<std::string>;

struct Heard {
    AudioUnit unit;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    bool operator==(const Heard&) const = default;
};

// Every listener's context: it logs its name into a shared list, keeps what it was told last,
// then runs `act` (if set), which may change the listener list while it is being walked.
struct Listener {
    std::string name;
    Names* log;
    std::function<void(AudioUnitPropertyID)> act;
    Heard heard{};
};

void Log(void* refCon, const char* suffix, Heard heard) {
    auto* l = static_cast<Listener*>(refCon);
    l->log->push_back(l->name + suffix);
    l->heard = heard;
    if (l->act && !*suffix) l->act(heard.id);
}
void Proc(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
          AudioUnitElement element) {
    Log(refCon, "", {unit, id, scope, element});
}
void OtherProc(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
               AudioUnitElement element) {
    Log(refCon, "*", {unit, id, scope, element});
}

class ListenersTest : public ::testing::Test {
protected:
    ListenersTest() : unit(reinterpret_cast<ComponentInstance>(0x1234)) {}
    Listener Make(const char* name) { return {name, &log, {}}; }
    // Announces each id in turn and returns who was called.
    Names Changed(std::initializer_list<AudioUnitPropertyID> ids) {
        log.clear();
        for (AudioUnitPropertyID id : ids) unit.PropertyChanged(id, 0, 0);
        return log;
    }

    PassThroughUnit unit;
    Names log;
};

TEST_F(ListenersTest, CallsMatchingListenersInOrderAndRemovesByContextOnlyWhenGiven) {
    Listener a = Make("a"), b = Make("b");
    unit.AddPropertyListener(8, Proc, &a);
    unit.AddPropertyListener(14, Proc, &b);
    unit.AddPropertyListener(8, Proc, &b);
    unit.AddPropertyListener(8, Proc, &a);  // a duplicate is called again
    unit.AddPropertyListener(8, OtherProc, &a);

    unit.PropertyChanged(8, kAudioUnitScope_Global, 3);
    EXPECT_EQ(log, (Names{"a", "b", "a", "a*"}));
    EXPECT_EQ(a.heard, (Heard{unit.GetComponentInstance(), 8, kAudioUnitScope_Global, 3}));

    EXPECT_EQ(unit.RemovePropertyListener(9, Proc, nullptr, false), noErr);  // never added
    EXPECT_EQ(unit.RemovePropertyListener(8, Proc, &a, true), noErr);
    EXPECT_EQ(Changed({8}), (Names{"b", "a*"})) << "both entries of (Proc, a) go, no other";

    EXPECT_EQ(unit.RemovePropertyListener(8, Proc, nullptr, false), noErr);
    EXPECT_EQ(Changed({8, 14, 99}), (Names{"a*", "b"})) << "every context of (8, Proc) goes";
}

TEST_F(ListenersTest, ListenersMayChangeTheListWhileItIsWalked) {
    Listener a = Make("a"), b = Make("b"), c = Make("c"), d = Make("d"), e = Make("e");
    a.act = [&](AudioUnitPropertyID id) { unit.RemovePropertyListener(id, Proc, &a, true); };
    b.act = [&](AudioUnitPropertyID id) { unit.RemovePropertyListener(id, Proc, &c, true); };
    c.act = [&](AudioUnitPropertyID id) { unit.AddPropertyListener(id, Proc, &d); };  // b removes c
    for (Listener* l : {&a, &b, &c}) unit.AddPropertyListener(8, Proc, l);
    EXPECT_EQ(Changed({8}), (Names{"a", "b"})) << "a removal takes effect at once";
    EXPECT_EQ(Changed({8}), (Names{"b"}));

    // An addition is heard from the next change on.
    bool once = true;
    e.act = [&](AudioUnitPropertyID id) {
        if (std::exchange(once, false)) unit.AddPropertyListener(id, Proc, &d);
    };
    unit.AddPropertyListener(20, Proc, &e);
    EXPECT_EQ(Changed({20}), (Names{"e"}));
    EXPECT_EQ(Changed({20}), (Names{"e", "d"}));
}

}  // namespace
