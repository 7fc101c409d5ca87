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

// A listener's context: it logs its name (with the procedure's suffix) into a shared list, then
// runs `act` (if set), which may change the listener list while it is being walked.
struct Listener {
    std::string name;
    Names* log;
    std::function<void(AudioUnitPropertyID)> act;
};

template <char suffix>
void Proc(void* refCon, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
          AudioUnitElement element) {
    auto* l = static_cast<Listener*>(refCon);
    l->log->push_back(l->name + suffix + std::to_string(id) + std::to_string(scope) +
                      std::to_string(element));
    EXPECT_EQ(unit, reinterpret_cast<AudioUnit>(0x1234));
    if (l->act) l->act(id);
}
constexpr auto kProc = &Proc<'.'>;
constexpr auto kOtherProc = &Proc<'*'>;

class ListenersTest : public ::testing::Test {
protected:
    ListenersTest() : unit(reinterpret_cast<ComponentInstance>(0x1234)) {}
    Listener Make(const char* name) { return {name, &log, {}}; }
    // Announces each id (global scope, element 0) in turn and returns who was called.
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
    unit.AddPropertyListener(8, kProc, &a);
    unit.AddPropertyListener(14, kProc, &b);
    unit.AddPropertyListener(8, kProc, &b);
    unit.AddPropertyListener(8, kProc, &a);  // a duplicate is called again
    unit.AddPropertyListener(8, kOtherProc, &a);

    unit.PropertyChanged(8, kAudioUnitScope_Output, 3);
    EXPECT_EQ(log, (Names{"a.823", "b.823", "a.823", "a*823"}));

    EXPECT_EQ(unit.RemovePropertyListener(9, kProc, nullptr, false), noErr);  // never added
    EXPECT_EQ(unit.RemovePropertyListener(8, kProc, &a, true), noErr);
    EXPECT_EQ(Changed({8}), (Names{"b.800", "a*800"})) << "both entries of (Proc, a) go, no other";

    EXPECT_EQ(unit.RemovePropertyListener(8, kProc, nullptr, false), noErr);
    EXPECT_EQ(Changed({8, 14, 99}), (Names{"a*800", "b.1400"})) << "every context of (8, Proc)";
}

TEST_F(ListenersTest, ListenersMayChangeTheListWhileItIsWalked) {
    Listener a = Make("a"), b = Make("b"), c = Make("c"), d = Make("d"), e = Make("e");
    a.act = [&](AudioUnitPropertyID id) { unit.RemovePropertyListener(id, kProc, &a, true); };
    b.act = [&](AudioUnitPropertyID id) { unit.RemovePropertyListener(id, kProc, &c, true); };
    c.act = [&](AudioUnitPropertyID id) { unit.AddPropertyListener(id, kProc, &d); };  // never runs
    for (Listener* l : {&a, &b, &c}) unit.AddPropertyListener(8, kProc, l);
    EXPECT_EQ(Changed({8}), (Names{"a.800", "b.800"})) << "a removal takes effect at once";
    EXPECT_EQ(Changed({8}), (Names{"b.800"}));

    // An addition is heard from the next change on.
    bool once = true;
    e.act = [&](AudioUnitPropertyID id) {
        if (std::exchange(once, false)) unit.AddPropertyListener(id, kProc, &d);
    };
    unit.AddPropertyListener(20, kProc, &e);
    EXPECT_EQ(Changed({20}), (Names{"e.2000"}));
    EXPECT_EQ(Changed({20}), (Names{"e.2000", "d.2000"}));
}

}  // namespace
