// Saving and loading a port's settings groups to an INI file or an opened registry key.
#include "serial/ComPort.h"

#include "text/NumText.h"

std::int32_t TComIniFile::ReadInteger(const std::string& section, const std::string& key,
                                      std::int32_t defaultValue) {
    const std::string text = ReadString(section, key, std::string());
    const auto value = numtext::ParseInt(text);
    return value ? *value : defaultValue;
}

void TComIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
    WriteString(section, key, numtext::FormatInt(value));
}

namespace {

// One store seen through the same four operations, so saving and loading are written once for
// both kinds. `Has` tells whether a load should touch the property at all (a missing INI key
// keeps the current value; the registry reads every value).
class TStoreView {
public:
    virtual ~TStoreView() = default;
    virtual bool Has(const std::string& key) = 0;
    virtual std::string Str(const std::string& key) = 0;
    virtual std::int32_t Int(const std::string& key, std::int32_t fallback) = 0;
    virtual void PutStr(const std::string& key, const std::string& value) = 0;
    virtual void PutInt(const std::string& key, std::int32_t value) = 0;
};

class TIniView : public TStoreView {
public:
    TIniView(TComIniFile& ini, std::string section) : FIni(ini), FSection(std::move(section)) {}
    bool Has(const std::string& key) override {
        // Two different defaults tell a missing key from any stored text.
        return FIni.ReadString(FSection, key, "\x01") != "\x01" ||
               FIni.ReadString(FSection, key, "\x02") != "\x02";
    }
    std::string Str(const std::string& key) override { return FIni.ReadString(FSection, key, std::string()); }
    std::int32_t Int(const std::string& key, std::int32_t fallback) override {
        return FIni.ReadInteger(FSection, key, fallback);
    }
    void PutStr(const std::string& key, const std::string& value) override {
        FIni.WriteString(FSection, key, value);
    }
    void PutInt(const std::string& key, std::int32_t value) override {
        FIni.WriteInteger(FSection, key, value);
    }

private:
    TComIniFile& FIni;
    std::string FSection;
};

class TRegistryView : public TStoreView {
public:
    explicit TRegistryView(TComRegistry& reg) : FReg(reg) {}
    bool Has(const std::string&) override { return true; }
    std::string Str(const std::string& key) override { return FReg.ReadString(key); }
    std::int32_t Int(const std::string& key, std::int32_t) override { return FReg.ReadInteger(key); }
    void PutStr(const std::string& key, const std::string& value) override { FReg.WriteString(key, value); }
    void PutInt(const std::string& key, std::int32_t value) override { FReg.WriteInteger(key, value); }

private:
    TComRegistry& FReg;
};

void Save(TCustomComPort& port, TStoreView& store) {
    const TStoredProps groups = port.SavedGroups();
    if (groups.Contains(spBasic)) {
        store.PutStr("Port", port.Port());
        store.PutStr("BaudRate", BaudRateToStr(port.BaudRate()));
        if (port.BaudRate() == brCustom) store.PutInt("CustomBaudRate", port.CustomBaudRate());
        store.PutStr("StopBits", StopBitsToStr(port.StopBits()));
        store.PutStr("DataBits", DataBitsToStr(port.DataBits()));
        store.PutStr("Parity", ParityToStr(port.Parity().Bits()));
        store.PutStr("FlowControl", FlowControlToStr(port.FlowControl().FlowControl()));
    }
    if (groups.Contains(spOthers)) {
        store.PutStr("EventChar", CharToStr(port.EventChar()));
        store.PutStr("DiscardNull", BoolToStr(port.DiscardNull()));
    }
    if (groups.Contains(spParity)) {
        store.PutStr("Parity.Check", BoolToStr(port.Parity().Check()));
        store.PutStr("Parity.Replace", BoolToStr(port.Parity().Replace()));
        store.PutStr("Parity.ReplaceChar", CharToStr(port.Parity().ReplaceChar()));
    }
    if (groups.Contains(spBuffer)) {
        store.PutInt("Buffer.OutputSize", port.Buffer().OutputSize());
        store.PutInt("Buffer.InputSize", port.Buffer().InputSize());
    }
    if (groups.Contains(spTimeouts)) {
        const TComTimeouts& t = port.Timeouts();
        store.PutInt("Timeouts.ReadInterval", t.ReadInterval());
        store.PutInt("Timeouts.ReadTotalConstant", t.ReadTotalConstant());
        store.PutInt("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier());
        store.PutInt("Timeouts.WriteTotalConstant", t.WriteTotalConstant());
        store.PutInt("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier());
    }
    if (groups.Contains(spFlowControl)) {
        const TComFlowControl& f = port.FlowControl();
        store.PutStr("FlowControl.ControlRTS", RTSToStr(f.ControlRTS()));
        store.PutStr("FlowControl.ControlDTR", DTRToStr(f.ControlDTR()));
        store.PutStr("FlowControl.DSRSensitivity", BoolToStr(f.DSRSensitivity()));
        store.PutStr("FlowControl.OutCTSFlow", BoolToStr(f.OutCTSFlow()));
        store.PutStr("FlowControl.OutDSRFlow", BoolToStr(f.OutDSRFlow()));
        store.PutStr("FlowControl.TxContinueOnXoff", BoolToStr(f.TxContinueOnXoff()));
        store.PutStr("FlowControl.XonXoffIn", BoolToStr(f.XonXoffIn()));
        store.PutStr("FlowControl.XonXoffOut", BoolToStr(f.XonXoffOut()));
        store.PutStr("FlowControl.XoffChar", CharToStr(f.XoffChar()));
        store.PutStr("FlowControl.XonChar", CharToStr(f.XonChar()));
    }
}

void Load(TCustomComPort& port, TStoreView& store) {
    const TStoredProps groups = port.SavedGroups();
    // Each present key goes through its property setter, in the order of saving.
    const auto str = [&](const char* key, auto apply) {
        if (store.Has(key)) apply(store.Str(key));
    };
    if (groups.Contains(spBasic)) {
        str("Port", [&](const std::string& v) { port.SetPort(v); });
        str("BaudRate", [&](const std::string& v) { port.SetBaudRate(StrToBaudRate(v)); });
        if (port.BaudRate() == brCustom) port.SetCustomBaudRate(store.Int("CustomBaudRate", 9600));
        str("StopBits", [&](const std::string& v) { port.SetStopBits(StrToStopBits(v)); });
        str("DataBits", [&](const std::string& v) { port.SetDataBits(StrToDataBits(v)); });
        str("Parity", [&](const std::string& v) { port.Parity().SetBits(StrToParity(v)); });
        str("FlowControl",
            [&](const std::string& v) { port.FlowControl().SetFlowControl(StrToFlowControl(v)); });
    }
    if (groups.Contains(spOthers)) {
        str("EventChar", [&](const std::string& v) { port.SetEventChar(StrToChar(v)); });
        str("DiscardNull", [&](const std::string& v) { port.SetDiscardNull(StrToBool(v)); });
    }
    if (groups.Contains(spParity)) {
        TComParity& p = port.Parity();
        str("Parity.Check", [&](const std::string& v) { p.SetCheck(StrToBool(v)); });
        str("Parity.Replace", [&](const std::string& v) { p.SetReplace(StrToBool(v)); });
        str("Parity.ReplaceChar", [&](const std::string& v) { p.SetReplaceChar(StrToChar(v)); });
    }
    if (groups.Contains(spBuffer)) {
        // A present key that is no whole number keeps the current value, as a missing one does.
        if (store.Has("Buffer.OutputSize"))
            port.Buffer().SetOutputSize(store.Int("Buffer.OutputSize", port.Buffer().OutputSize()));
        if (store.Has("Buffer.InputSize"))
            port.Buffer().SetInputSize(store.Int("Buffer.InputSize", port.Buffer().InputSize()));
    }
    if (groups.Contains(spTimeouts)) {
        TComTimeouts& t = port.Timeouts();
        const auto tnum = [&](const char* key, std::int32_t current, auto apply) {
            if (store.Has(key)) apply(store.Int(key, current));
        };
        tnum("Timeouts.ReadInterval", t.ReadInterval(), [&](std::int32_t v) { t.SetReadInterval(v); });
        tnum("Timeouts.ReadTotalConstant", t.ReadTotalConstant(),
             [&](std::int32_t v) { t.SetReadTotalConstant(v); });
        tnum("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier(),
             [&](std::int32_t v) { t.SetReadTotalMultiplier(v); });
        tnum("Timeouts.WriteTotalConstant", t.WriteTotalConstant(),
             [&](std::int32_t v) { t.SetWriteTotalConstant(v); });
        tnum("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier(),
             [&](std::int32_t v) { t.SetWriteTotalMultiplier(v); });
    }
    if (groups.Contains(spFlowControl)) {
        TComFlowControl& f = port.FlowControl();
        str("FlowControl.ControlRTS", [&](const std::string& v) { f.SetControlRTS(StrToRTS(v)); });
        str("FlowControl.ControlDTR", [&](const std::string& v) { f.SetControlDTR(StrToDTR(v)); });
        str("FlowControl.DSRSensitivity", [&](const std::string& v) { f.SetDSRSensitivity(StrToBool(v)); });
        str("FlowControl.OutCTSFlow", [&](const std::string& v) { f.SetOutCTSFlow(StrToBool(v)); });
        str("FlowControl.OutDSRFlow", [&](const std::string& v) { f.SetOutDSRFlow(StrToBool(v)); });
        str("FlowControl.TxContinueOnXoff",
            [&](const std::string& v) { f.SetTxContinueOnXoff(StrToBool(v)); });
        str("FlowControl.XonXoffIn", [&](const std::string& v) { f.SetXonXoffIn(StrToBool(v)); });
        str("FlowControl.XonXoffOut", [&](const std::string& v) { f.SetXonXoffOut(StrToBool(v)); });
        str("FlowControl.XoffChar", [&](const std::string& v) { f.SetXoffChar(StrToChar(v)); });
        str("FlowControl.XonChar", [&](const std::string& v) { f.SetXonChar(StrToChar(v)); });
    }
}

} // namespace

void TCustomComPort::SaveToIniFile(TComIniFile& ini) {
    TIniView view(ini, FName);
    Save(*this, view);
}

void TCustomComPort::LoadFromIniFile(TComIniFile& ini) {
    TIniView view(ini, FName);
    Load(*this, view);
}

void TCustomComPort::SaveToRegistry(TComRegistry& reg) {
    TRegistryView view(reg);
    Save(*this, view);
}

void TCustomComPort::LoadFromRegistry(TComRegistry& reg) {
    TRegistryView view(reg);
    Load(*this, view);
}
