// Feeds arbitrary bytes to the receive parser. The first byte of every chunk chooses the side
// and the options, so both sides, the Test path and the batch path are all exercised.
#include "devicelink/RxParser.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class Effects : public devicelink::RxEffects {
public:
    void ShowIdentification(int side, const std::string& text) override {
        if ((side != 1 && side != 2) || (text != "Pt1&" && text != "Pt2")) std::abort();
    }
    void AddCommLine(const std::string& line) override {
        if (line.empty()) std::abort();
    }
    void RemoteStart() override {}
    void RemoteStop() override {}
};

void CheckBounds(const state::RegulatorState& S) {
    for (int side = 1; side <= 2; ++side) {
        if (S.RxLine[side].size() > devicelink::MaxRxLine) std::abort();
        if (S.RxState[side] != state::RxIdle && S.RxState[side] != state::RxInMessage) std::abort();
        const double t = S.SideState[side].Temperature;
        if (!std::isfinite(t) || std::fabs(t) >= 1e15) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    state::RegulatorState S;
    Effects fx;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    // Chunks are separated by byte 0xFF; a chunk's first byte is its control byte.
    while (!input.empty()) {
        const auto end = input.find('\xFF');
        std::string_view chunk = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
        if (chunk.empty()) continue;
        const auto control = static_cast<unsigned char>(chunk[0]);
        chunk.remove_prefix(1);
        const int side = (control & 1) ? 2 : 1;
        const devicelink::RxOptions opt{(control & 2) != 0, (control & 4) != 0};
        if (control & 8) {
            devicelink::HandleTestText(S, fx, side, chunk, opt);
            CheckBounds(S);
        } else {
            for (char ch : chunk) {
                devicelink::ParseRxChar(S, fx, side, ch);
                CheckBounds(S);
            }
        }
    }
    return 0;
}
