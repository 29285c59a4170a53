// Settings, their apply steps and the records handed to the device, against the in-memory layer.
#include "serial/ComPort.h"
#include "tests/support/FakeSerialServices.h"

#include <gtest/gtest.h>

#include <map>

using testsupport::Call;
using testsupport::FakeSerialServices;

namespace {

struct Settings : ::testing::Test {
    std::shared_ptr<FakeSerialServices> fake = std::make_shared<FakeSerialServices>();
    TComPort port{fake};
    void SetUp() override {
        fake->AddDevice("COM3");
        port.SetPort("COM3");
        port.SetEvents({}); // no event thread: these tests look at the apply steps only
    }
};

TEST_F(Settings, DefaultsReachTheDeviceAsTheTablesGiveThem) {
    port.Open();
    const platform::DCB dcb = fake->LastDCB("COM3");
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow + dcb.fOutxDsrFlow + dcb.fDtrControl + dcb.fRtsControl, 0u);
    EXPECT_EQ(dcb.fOutX + dcb.fInX + dcb.fErrorChar + dcb.fNull + dcb.fAbortOnError, 0u);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar + dcb.EvtChar + dcb.EofChar, 0);

    const platform::COMMTIMEOUTS t = fake->LastTimeouts("COM3");
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
    EXPECT_EQ(fake->InQueue("COM3"), 1024u);
    EXPECT_EQ(fake->OutQueue("COM3"), 1024u);
    // Opened by its Win32 device path, then queue sizes, line settings, timeouts in this order.
    const auto calls = fake->Calls();
    const std::vector<Call> expected = {
        Call::CreateFileA,        Call::SetupComm,          Call::SetCommState,      Call::SetCommTimeouts,
        Call::GetCommModemStatus, Call::GetCommModemStatus, Call::GetCommModemStatus};
    EXPECT_EQ(calls, expected);
}

TEST_F(Settings, EverySettingMapsIntoTheDcb) {
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbOne5StopBits);
    port.SetDiscardNull(true);
    port.SetEventChar('\r');
    port.Parity().SetBits(prSpace);
    port.Parity().SetCheck(true);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar('?');
    port.FlowControl().SetOutDSRFlow(true);
    port.FlowControl().SetControlDTR(dtrHandshake);
    port.FlowControl().SetControlRTS(rtsToggle);
    port.FlowControl().SetDSRSensitivity(true);
    port.FlowControl().SetTxContinueOnXoff(true);
    port.FlowControl().SetXonXoffIn(true);
    port.FlowControl().SetXonChar('a');
    port.FlowControl().SetXoffChar('b');
    port.Buffer().SetInputSize(4096);
    port.Open();
    const platform::DCB d = fake->LastDCB("COM3");
    EXPECT_EQ(d.BaudRate, 31250u);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.StopBits, 1);
    EXPECT_EQ(d.Parity, 4);
    EXPECT_EQ(d.fParity, 1u);
    EXPECT_EQ(d.fErrorChar, 1u);
    EXPECT_EQ(d.ErrorChar, '?');
    EXPECT_EQ(d.fNull, 1u);
    EXPECT_EQ(d.EvtChar, '\r');
    EXPECT_EQ(d.fOutxDsrFlow, 1u);
    EXPECT_EQ(d.fDtrControl, 2u);
    EXPECT_EQ(d.fRtsControl, 3u);
    EXPECT_EQ(d.fDsrSensitivity, 1u);
    EXPECT_EQ(d.fTXContinueOnXoff, 1u);
    EXPECT_EQ(d.fInX, 1u);
    EXPECT_EQ(d.fOutX, 0u);
    EXPECT_EQ(d.XonChar, 'a');
    EXPECT_EQ(d.XoffChar, 'b');
    EXPECT_EQ(d.XonLim, 1024);
    EXPECT_EQ(d.XoffLim, 1024);
    // The replacement character goes over only when both check and replace are on.
    port.Parity().SetReplace(false);
    EXPECT_EQ(fake->LastDCB("COM3").fErrorChar, 0u);
    EXPECT_EQ(fake->LastDCB("COM3").ErrorChar, 0);
}

TEST_F(Settings, SettersStoreWhileClosedAndApplyOnlyChangesWhileOpen) {
    port.SetBaudRate(br4800); // closed: stored, nothing sent
    EXPECT_EQ(fake->CountOf(Call::SetCommState), 0);
    port.Open();
    EXPECT_EQ(fake->LastDCB("COM3").BaudRate, 4800u);
    fake->ClearCalls();

    struct Step {
        const char* name;
        std::function<void()> set;
        Call applies;
    };
    const Step changes[] = {
        {"BaudRate", [&] { port.SetBaudRate(br19200); }, Call::SetCommState},
        {"CustomBaudRate", [&] { port.SetCustomBaudRate(1000); }, Call::SetCommState},
        {"DataBits", [&] { port.SetDataBits(dbSix); }, Call::SetCommState},
        {"StopBits", [&] { port.SetStopBits(sbTwoStopBits); }, Call::SetCommState},
        {"DiscardNull", [&] { port.SetDiscardNull(true); }, Call::SetCommState},
        {"EventChar", [&] { port.SetEventChar('x'); }, Call::SetCommState},
        {"Parity.Bits", [&] { port.Parity().SetBits(prOdd); }, Call::SetCommState},
        {"Parity.Check", [&] { port.Parity().SetCheck(true); }, Call::SetCommState},
        {"FlowControl.OutCTSFlow", [&] { port.FlowControl().SetOutCTSFlow(true); }, Call::SetCommState},
        {"FlowControl.XoffChar", [&] { port.FlowControl().SetXoffChar(1); }, Call::SetCommState},
        {"Timeouts.ReadInterval", [&] { port.Timeouts().SetReadInterval(5); }, Call::SetCommTimeouts},
        {"Timeouts.WriteTotalConstant", [&] { port.Timeouts().SetWriteTotalConstant(7); },
         Call::SetCommTimeouts},
        {"Buffer.OutputSize", [&] { port.Buffer().SetOutputSize(2048); }, Call::SetupComm},
    };
    for (const Step& s : changes) {
        fake->ClearCalls();
        s.set();
        EXPECT_EQ(fake->Calls(), std::vector<Call>{s.applies}) << s.name << " changed";
        fake->ClearCalls();
        s.set(); // the same value again: nothing
        EXPECT_TRUE(fake->Calls().empty()) << s.name << " unchanged";
    }
    EXPECT_EQ(fake->LastDCB("COM3").BaudRate, 19200u);
    EXPECT_EQ(fake->LastTimeouts("COM3").WriteTotalTimeoutConstant, 7u);
    EXPECT_EQ(fake->OutQueue("COM3"), 2048u);

    // Events are only stored: no device call, effective at the next Open.
    fake->ClearCalls();
    port.SetEvents({evRxChar});
    EXPECT_TRUE(fake->Calls().empty());
}

TEST_F(Settings, WholeObjectSettersAlwaysCopyAndApply) {
    port.Open();
    fake->ClearCalls();
    TComTimeouts t;
    t.SetReadTotalConstant(50);
    port.SetTimeouts(t);
    port.SetTimeouts(t);
    EXPECT_EQ(fake->CountOf(Call::SetCommTimeouts), 2);
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 50);
    EXPECT_EQ(port.Timeouts().ComPort(), &port); // the owned object keeps its port
    EXPECT_EQ(t.ComPort(), nullptr);
    TComBuffer b;
    b.SetInputSize(333);
    port.SetBuffer(b);
    EXPECT_EQ(fake->InQueue("COM3"), 332u);
    TComParity p;
    p.SetBits(prEven);
    port.SetParity(p);
    EXPECT_EQ(fake->LastDCB("COM3").Parity, 2);
    TComFlowControl f;
    f.SetFlowControl(fcHardware);
    port.SetFlowControl(f);
    EXPECT_EQ(fake->LastDCB("COM3").fRtsControl, 2u);
    EXPECT_EQ(fake->LastDCB("COM3").fOutxCtsFlow, 1u);
    // A copy is free-standing: changing it touches no port.
    TComFlowControl copy(port.FlowControl());
    fake->ClearCalls();
    copy.SetXonXoffIn(true);
    EXPECT_TRUE(fake->Calls().empty());
}

TEST(FlowControlTest, DerivedValueFollowsTheFlags) {
    struct Case {
        TRTSFlowControl rts;
        bool cts, xin, xout;
        TFlowControl expected;
    };
    const Case table[] = {
        {rtsHandshake, true, false, false, fcHardware}, {rtsDisable, false, true, true, fcSoftware},
        {rtsDisable, false, false, false, fcNone},      {rtsHandshake, false, false, false, fcCustom},
        {rtsEnable, false, false, false, fcCustom},     {rtsDisable, true, false, false, fcCustom},
        {rtsDisable, false, true, false, fcCustom},     {rtsHandshake, true, true, true, fcCustom},
    };
    for (const Case& c : table) {
        TComFlowControl f;
        f.SetControlRTS(c.rts);
        f.SetOutCTSFlow(c.cts);
        f.SetXonXoffIn(c.xin);
        f.SetXonXoffOut(c.xout);
        EXPECT_EQ(f.FlowControl(), c.expected) << c.rts << c.cts << c.xin << c.xout;
    }
}

TEST(FlowControlTest, WritingSetsOnlyItsFlags) {
    TComFlowControl f;
    EXPECT_EQ(f.FlowControl(), fcNone);
    f.SetControlDTR(dtrEnable);
    f.SetOutDSRFlow(true);
    f.SetFlowControl(fcHardware);
    EXPECT_EQ(f.FlowControl(), fcHardware);
    EXPECT_EQ(f.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f.OutCTSFlow());
    f.SetXonXoffIn(true);
    EXPECT_EQ(f.FlowControl(), fcCustom);
    f.SetFlowControl(fcSoftware);
    EXPECT_EQ(f.ControlRTS(), rtsDisable);
    EXPECT_FALSE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn() && f.XonXoffOut());
    f.SetFlowControl(fcCustom); // changes nothing
    EXPECT_EQ(f.FlowControl(), fcSoftware);
    f.SetFlowControl(fcNone);
    EXPECT_EQ(f.FlowControl(), fcNone);
    // Never touched by FlowControl.
    EXPECT_EQ(f.ControlDTR(), dtrEnable);
    EXPECT_TRUE(f.OutDSRFlow());
}

TEST_F(Settings, FlowControlWriteReappliesEvenWhenUnchanged) {
    port.Open();
    fake->ClearCalls();
    port.FlowControl().SetFlowControl(fcNone);
    port.FlowControl().SetFlowControl(fcNone);
    EXPECT_EQ(fake->CountOf(Call::SetCommState), 2);
}

TEST(BufferTest, SizesAreKeptEven) {
    const std::pair<int, int> table[] = {{1025, 1024}, {1024, 1024}, {1, 0}, {0, 0}, {4097, 4096}, {-3, -3}};
    for (const auto& [given, stored] : table) {
        TComBuffer b;
        b.SetInputSize(given);
        b.SetOutputSize(given);
        EXPECT_EQ(b.InputSize(), stored) << given;
        EXPECT_EQ(b.OutputSize(), stored) << given;
    }
}

TEST_F(Settings, ValuesTheRecordsCannotCarryAreRefusedBeforeTheDevice) {
    const std::function<void()> bad[] = {
        [&] {
            port.SetBaudRate(brCustom);
            port.SetCustomBaudRate(-1);
        },
        [&] { port.Buffer().SetInputSize(262144); },
        [&] { port.Buffer().SetOutputSize(-2); },
        [&] { port.Timeouts().SetReadTotalConstant(-2); },
    };
    for (const auto& set : bad) {
        // Applied while closed: stored only. Open then refuses it and stays closed.
        set();
        EXPECT_THROW(port.Open(), std::out_of_range);
        EXPECT_FALSE(port.Connected());
        EXPECT_FALSE(fake->IsOpen("COM3"));
        port.SetBaudRate(br9600);
        port.SetCustomBaudRate(9600);
        port.Buffer().SetInputSize(1024);
        port.Buffer().SetOutputSize(1024);
        port.Timeouts().SetReadTotalConstant(0);
    }
    // The largest input size whose quarter fits passes.
    port.Buffer().SetInputSize(262143);
    EXPECT_NO_THROW(port.Open());
    EXPECT_EQ(fake->LastDCB("COM3").XonLim, 65535);
    // A custom rate that is not the chosen rate never reaches the record, so it is no reason
    // to refuse the line settings.
    EXPECT_NO_THROW(port.SetCustomBaudRate(-1));
    EXPECT_NO_THROW(port.SetBaudRate(br4800));
    EXPECT_EQ(fake->LastDCB("COM3").BaudRate, 4800u);
    EXPECT_THROW(port.SetBaudRate(brCustom), std::out_of_range);
}

TEST_F(Settings, SyncMethodIsRefusedWhileOpen) {
    port.SetSyncMethod(smNone);
    port.Open();
    try {
        port.SetSyncMethod(smWindowSync);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 14);
        EXPECT_EQ(e.WinErrorCode(), -1);
    }
    EXPECT_EQ(port.SyncMethod(), smNone);
    EXPECT_NO_THROW(port.SetSyncMethod(smNone)); // unchanged: nothing to refuse
    port.Close();
    port.SetSyncMethod(smThreadSync);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
}

TEST_F(Settings, ConnectedWritesOpenAndClose) {
    int opens = 0;
    port.OnAfterOpen = [&](TComPort*) { ++opens; };
    port.SetConnected(true);
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(opens, 1);
    port.SetConnected(false);
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(fake->IsOpen("COM3"));
}

TEST_F(Settings, LoadingStoresConnectedAndOpensWhenLoaded) {
    port.BeginLoading();
    port.SetConnected(true);
    port.SetBaudRate(br2400);
    EXPECT_FALSE(fake->IsOpen("COM3"));
    port.Loaded();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(fake->LastDCB("COM3").BaudRate, 2400u);
}

// ---- Saving and loading ----

class MemoryIni : public TComIniFile {
public:
    std::map<std::string, std::map<std::string, std::string>> sections;
    std::vector<std::string> order;
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& def) override {
        const auto s = sections.find(section);
        if (s == sections.end()) return def;
        const auto k = s->second.find(key);
        return k == s->second.end() ? def : k->second;
    }
    void WriteString(const std::string& section, const std::string& key, const std::string& value) override {
        sections[section][key] = value;
        order.push_back(key);
    }
};

TEST_F(Settings, IniSaveWritesTheChosenGroupsInOrder) {
    port.SetName("ComPort1");
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250);
    port.FlowControl().SetFlowControl(fcHardware);
    port.SetEventChar(10);
    port.SetSavedGroups({spBasic, spOthers, spParity, spBuffer, spTimeouts, spFlowControl});
    MemoryIni ini;
    port.SaveToIniFile(ini);
    const std::vector<std::string> keys = {"Port",
                                           "BaudRate",
                                           "CustomBaudRate",
                                           "StopBits",
                                           "DataBits",
                                           "Parity",
                                           "FlowControl",
                                           "EventChar",
                                           "DiscardNull",
                                           "Parity.Check",
                                           "Parity.Replace",
                                           "Parity.ReplaceChar",
                                           "Buffer.OutputSize",
                                           "Buffer.InputSize",
                                           "Timeouts.ReadInterval",
                                           "Timeouts.ReadTotalConstant",
                                           "Timeouts.ReadTotalMultiplier",
                                           "Timeouts.WriteTotalConstant",
                                           "Timeouts.WriteTotalMultiplier",
                                           "FlowControl.ControlRTS",
                                           "FlowControl.ControlDTR",
                                           "FlowControl.DSRSensitivity",
                                           "FlowControl.OutCTSFlow",
                                           "FlowControl.OutDSRFlow",
                                           "FlowControl.TxContinueOnXoff",
                                           "FlowControl.XonXoffIn",
                                           "FlowControl.XonXoffOut",
                                           "FlowControl.XoffChar",
                                           "FlowControl.XonChar"};
    EXPECT_EQ(ini.order, keys);
    const auto& s = ini.sections["ComPort1"];
    EXPECT_EQ(s.at("Port"), "COM3");
    EXPECT_EQ(s.at("BaudRate"), "Custom");
    EXPECT_EQ(s.at("CustomBaudRate"), "31250");
    EXPECT_EQ(s.at("StopBits"), "1");
    EXPECT_EQ(s.at("Parity"), "None");
    EXPECT_EQ(s.at("FlowControl"), "Hardware");
    EXPECT_EQ(s.at("EventChar"), "#10");
    EXPECT_EQ(s.at("DiscardNull"), "No");
    EXPECT_EQ(s.at("Timeouts.ReadInterval"), "-1");
    EXPECT_EQ(s.at("FlowControl.ControlRTS"), "Handshake");
    EXPECT_EQ(s.at("FlowControl.XonChar"), "#17");

    // Only the basic group by default, without CustomBaudRate for a listed rate.
    TComPort plain(fake);
    MemoryIni basic;
    plain.SaveToIniFile(basic);
    EXPECT_EQ(basic.order, (std::vector<std::string>{"Port", "BaudRate", "StopBits", "DataBits", "Parity",
                                                     "FlowControl"}));
}

TEST_F(Settings, IniLoadGoesThroughTheSettersAndKeepsMissingKeys) {
    port.SetName("ComPort1");
    port.SetSavedGroups({spBasic, spOthers, spParity, spBuffer, spTimeouts, spFlowControl});
    MemoryIni ini;
    auto& s = ini.sections["ComPort1"];
    s["BaudRate"] = "Custom";
    s["Parity"] = "even";
    s["EventChar"] = "#13";
    s["Buffer.InputSize"] = "2049";
    s["Timeouts.WriteTotalConstant"] = "250";
    s["Timeouts.ReadInterval"] = "junk"; // not a number: the current value stays
    s["FlowControl.XonXoffOut"] = "Yes";
    port.SetDataBits(dbSeven);
    port.Open();
    fake->ClearCalls();
    port.LoadFromIniFile(ini);
    EXPECT_EQ(port.Port(), "COM3");
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 9600); // missing: the documented default
    EXPECT_EQ(port.DataBits(), dbSeven);    // missing: kept
    EXPECT_EQ(port.Parity().Bits(), prEven);
    EXPECT_EQ(port.EventChar(), '\r');
    EXPECT_EQ(port.Buffer().InputSize(), 2048);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 250);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_TRUE(port.FlowControl().XonXoffOut());
    // An open port is reconfigured key by key.
    EXPECT_GE(fake->CountOf(Call::SetCommState), 4);
    EXPECT_EQ(fake->LastDCB("COM3").Parity, 2);
    EXPECT_EQ(fake->LastDCB("COM3").EvtChar, '\r');
    EXPECT_EQ(fake->InQueue("COM3"), 2048u);
}

class MemoryRegistry : public TComRegistry {
public:
    std::map<std::string, std::string> values;
    std::string ReadString(const std::string& name) override { return values.at(name); }
    void WriteString(const std::string& name, const std::string& value) override { values[name] = value; }
    std::int32_t ReadInteger(const std::string& name) override { return std::stoi(values.at(name)); }
    void WriteInteger(const std::string& name, std::int32_t value) override {
        values[name] = std::to_string(value);
    }
};

TEST_F(Settings, RegistryRoundTripAndMissingValuesRaise) {
    port.SetSavedGroups({spBasic, spTimeouts});
    port.SetBaudRate(br57600);
    port.Timeouts().SetReadTotalMultiplier(3);
    MemoryRegistry reg;
    port.SaveToRegistry(reg);
    TComPort other(fake);
    other.SetSavedGroups({spBasic, spTimeouts});
    other.LoadFromRegistry(reg);
    EXPECT_EQ(other.Port(), "COM3");
    EXPECT_EQ(other.BaudRate(), br57600);
    EXPECT_EQ(other.Timeouts().ReadTotalMultiplier(), 3);
    reg.values.erase("StopBits");
    EXPECT_THROW(other.LoadFromRegistry(reg), std::out_of_range);
}

} // namespace
