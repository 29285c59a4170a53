#pragma once
// A heater switch without a widget: counts the changes, as a check box runs its handler
// only when its state changes.
#include "state/RegulatorState.h"

namespace regulation::test {

class FakeSwitch : public state::HeaterSwitchControl {
public:
    bool Checked() const override { return on_; }
    void SetChecked(bool on) override {
        if (on != on_) ++changes_;
        on_ = on;
    }
    int Changes() const { return changes_; }

private:
    bool on_ = false;
    int changes_ = 0;
};

} // namespace regulation::test
