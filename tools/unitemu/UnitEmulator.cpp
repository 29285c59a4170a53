#include "tools/unitemu/UnitEmulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace unitemu {
namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

} // namespace

std::string UnitModel::Receive(std::string_view bytes) {
    if (!bytes.empty()) sinceReceived_ = 0.0;
    std::string reply;
    for (char ch : bytes) {
        if (inFrame_) {
            if (ch == '@') {
                frame_.clear();
            } else if (ch == '&') {
                inFrame_ = false;
                Command(frame_);
                frame_.clear();
            } else if (frame_.size() < 32) {
                frame_ += ch;
            } else {
                inFrame_ = false; // not one of ours: forget it
                frame_.clear();
            }
            continue;
        }
        if (ch == '@') {
            inFrame_ = true;
            frame_.clear();
        } else if (ch == '!') {
            ++Idents;
            reply += Identification();
        } else if (ch == '*') {
            ++Ticks;
        }
    }
    return reply;
}

void UnitModel::Command(const std::string& frame) {
    if (frame == "rele=1")
        Relay = true;
    else if (frame == "rele=0")
        Relay = false;
    else if (frame == "ledka=1")
        Lamp = true;
    else if (frame == "ledka=0")
        Lamp = false;
    else if (frame == "BEEP")
        ++Beeps;
    else if (frame == "START")
        ++Starts;
    else if (frame == "STOP")
        ++Stops;
}

void UnitModel::Advance(double seconds) {
    if (seconds <= 0) return;
    AdvanceHeat(seconds);
    sinceReceived_ += seconds;
    if (RelayWatchdog > 0 && sinceReceived_ >= RelayWatchdog) {
        Relay = false;
        Lamp = false;
    }
}

void UnitModel::AdvanceHeat(double seconds) {
    // A stuck heater heats whatever the relay is told.
    if (!HasLags()) {
        Step(seconds, Relay || HeaterStuck);
        return;
    }
    if (!started_) {
        // At rest, relay off: a relay already on reaches the element after the dead time too.
        started_ = true;
        chamber_ = Temperature;
    }
    // The relay state as commanded now reaches the element after the dead time.
    const bool last = pending_.empty() ? acting_ : pending_.back().second;
    if (Relay != last) pending_.emplace_back(clock_ + DeadTime, Relay);
    // Small steps, so that the lags and the dead time are followed to a fraction of a second.
    constexpr double Slice = 0.05;
    while (seconds > 0) {
        double dt = std::min(seconds, Slice);
        if (!pending_.empty() && pending_.front().first > clock_) dt = std::min(dt, pending_.front().first - clock_);
        while (!pending_.empty() && pending_.front().first <= clock_ + 1e-12) {
            acting_ = pending_.front().second;
            pending_.pop_front();
        }
        Step(dt, acting_ || HeaterStuck);
        clock_ += dt;
        seconds -= dt;
    }
}

void UnitModel::Step(double seconds, bool relay) {
    if (!HasLags()) {
        // Exact solution of dT/dt = (Ambient - T) / LossTau + heat over the step.
        const double target = Ambient + (relay ? HeatRate : 0.0) * LossTau;
        Temperature = target + (Temperature - target) * std::exp(-seconds / LossTau);
        return;
    }
    // Over a slice the element's heat, the chamber and the sensor each follow their lag with the
    // input of the slice held.
    const double on = relay ? 1.0 : 0.0;
    heat_ = ElementLag > 0.0 ? on + (heat_ - on) * std::exp(-seconds / ElementLag) : on;
    const double settle = Ambient + heat_ * HeatRate * LossTau;
    chamber_ = settle + (chamber_ - settle) * std::exp(-seconds / LossTau);
    Temperature = ChamberLag > 0.0 ? chamber_ + (Temperature - chamber_) * std::exp(-seconds / ChamberLag) : chamber_;
}

std::string UnitModel::Report() const {
    if (SensorBroken) return "@t=ERR  C\r";
    const double noise = Noise > 0.0 ? std::normal_distribution<double>(0.0, Noise)(noiseSource_) : 0.0;
    return "@t=" + FiveChars(Temperature + noise, DecimalPoint) + "C\r";
}

std::string FiveChars(double value, bool decimalPoint) {
    char buf[32];
    if (value > 99999.0) value = 99999.0;
    if (value < -9999.0) value = -9999.0;
    const double rounded = std::round(value * 10.0) / 10.0;
    if (rounded < 999.95 && rounded > -99.95) {
        std::snprintf(buf, sizeof buf, "%5.1f", rounded);
    } else {
        std::snprintf(buf, sizeof buf, "%5.0f", value);
    }
    std::string out(buf);
    for (char& c : out) {
        if (c == '.' && !decimalPoint) c = ',';
    }
    return out;
}

std::string Escape(std::string_view bytes) {
    std::string out;
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (ch == '\\')
            out += "\\\\";
        else if (ch == '\r')
            out += "\\r";
        else if (ch == '\n')
            out += "\\n";
        else if (b >= 32 && b < 127)
            out += ch;
        else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == '0')
            out += '\0';
        else if (c == 'x' && i + 2 < text.size() && IsHex(text[i + 1]) && IsHex(text[i + 2])) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else
            out += c;
    }
    return out;
}

} // namespace unitemu
