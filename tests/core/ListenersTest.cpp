#include <gtest/gtest.h>

#include <functional>
#include <string>
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
void Proc(void* refCon, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
          AudioUnitElement element) {
    auto* l = static_cast<Listener*>(refCon);
    l->log->push_back(l->name + suffix + std::to_string(id) + std::to_string(scope) +
                      std::to_string(element));
    if (l->act) l->act(id);
}
constexpr auto kProc = &Proc<'.'>;
constexpr auto kOtherProc = &Proc<'*'>;

class ListenersTest : public ::testing::Test {
protected:
    // Announces `id` (global scope, element 0) and returns who was called.
    Names Changed(AudioUnitPropertyID id) {
        log.clear();
        unit.PropertyChanged(id, 0, 0);
        return log;
    }
    PassThroughUnit unit;
    Names log;
    Listener a{"a", &log, {}}, b{"b", &log, {}}, c{"c", &log, {}};
};

TEST_F(ListenersTest, CallsMatchingListenersInOrderAndRemovesByContextOnlyWhenGiven) {
    unit.AddPropertyListener(8, kProc, &a);
    unit.AddPropertyListener(14, kProc, &b);
    unit.AddPropertyListener(8, kProc, &b);
    unit.AddPropertyListener(8, kProc, &a);  // a duplicate is called again
    unit.AddPropertyListener(8, kOtherProc, &a);
    unit.PropertyChanged(8, kAudioUnitScope_Output, 3);
    EXPECT_EQ(log, (Names{"a.823", "b.823", "a.823", "a*823"}));

    EXPECT_EQ(unit.RemovePropertyListener(8, kProc, &a, true), noErr);
    EXPECT_EQ(Changed(8), (Names{"b.800", "a*800"})) << "both entries of (Proc, a) go, no other";

    EXPECT_EQ(unit.RemovePropertyListener(8, kProc, nullptr, false), noErr);
    EXPECT_EQ(Changed(8), (Names{"a*800"})) << "every context of (8, Proc)";
    EXPECT_EQ(Changed(14), (Names{"b.1400"}));
}

TEST_F(ListenersTest, ListenersMayChangeTheListWhileItIsWalked) {
    a.act = [&](AudioUnitPropertyID id) { unit.RemovePropertyListener(id, kProc, &a, true); };
    b.act = [&](AudioUnitPropertyID id) { unit.RemovePropertyListener(id, kProc, &c, true); };
    for (Listener* l : {&a, &b, &c}) unit.AddPropertyListener(8, kProc, l);
    EXPECT_EQ(Changed(8), (Names{"a.800", "b.800"})) << "a removal takes effect at once";
    EXPECT_EQ(Changed(8), (Names{"b.800"}));
}

}  // namespace
