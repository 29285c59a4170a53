#pragma once
// What the regulator is doing with the cycle, as the status line and the broker both tell it.

namespace state {

enum class CyclePhase {
    Idle,    // "Regulovat" off: nobody regulates, the heaters are switched by hand
    Running, // a cycle runs along the programs
    Holding, // after Stop or the end of the cycle: the sides are held at t1 and t2
};

// The phase as the check boxes ("Regulovat", "Na prubeh") and the cycle's end flag give it.
inline CyclePhase PhaseOf(bool regulovat, bool naPrubeh, bool cycleEnded) {
    if (!regulovat) return CyclePhase::Idle;
    return naPrubeh && !cycleEnded ? CyclePhase::Running : CyclePhase::Holding;
}

} // namespace state
