#include "telemetry/LinkMonitor.h"

namespace telemetry {

namespace {
std::string RefusalReason(int code) {
    switch (code) {
    case 4:
        return "spatne jmeno nebo heslo";
    case 5:
        return "neopravneny pristup";
    default:
        return "kod " + std::to_string(code);
    }
}
} // namespace

std::optional<LinkNote> TLinkMonitor::Feed(const LinkEvent& e) {
    switch (e.What) {
    case LinkEvent::Kind::Up: {
        if (up_) return std::nullopt;
        up_ = true;
        const bool wasOutage = outage_;
        outage_ = false;
        if (!everUp_) {
            everUp_ = true;
            if (!wasOutage) return LinkNote{"pripojeno k brokeru " + broker_, {}};
        }
        return LinkNote{"spojeni s brokerem " + broker_ + " obnoveno", {}};
    }
    case LinkEvent::Kind::Down:
    case LinkEvent::Kind::Refused:
        break;
    }
    up_ = false;
    if (outage_) return std::nullopt;
    outage_ = true;
    if (e.What == LinkEvent::Kind::Refused) {
        const std::string reason = RefusalReason(e.Code);
        return LinkNote{"broker " + broker_ + " odmitl prihlaseni (" + reason + ")",
                        "MQTT broker " + broker_ + " odmitl prihlaseni (" + reason +
                            "). Zkontrolujte User a Password v sekci MQTT souboru Regulator.ini."};
    }
    if (everUp_) {
        return LinkNote{"spojeni s brokerem " + broker_ + " ztraceno",
                        "Spojeni s MQTT brokerem " + broker_ +
                            " bylo preruseno. Program se pripoji znovu sam, jakmile to pujde."};
    }
    return LinkNote{"broker " + broker_ + " neni dostupny",
                    "MQTT broker " + broker_ + " neni dostupny. Program se pripoji sam, jakmile to pujde."};
}

} // namespace telemetry
