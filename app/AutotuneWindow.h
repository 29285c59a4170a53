#pragma once
// The autotune window: the operator picks a side, its setpoint and the relay's band h, starts the
// relay test and watches it (time, oscillations, the estimate so far); at the end it shows the
// proposed r0, Ti and Td beside the current ones and a chart of the test's temperature and
// heater against what the fitted model predicts. Nothing changes until the operator accepts;
// accepting fills the "Regulator" tab's boxes and applies them as "Pouzit" does.
//
// The window is not modal. The main window's control tick drives the test through Tick; the
// proposal is computed away from the user-interface thread (a pure calculation on a copy of the
// record) and picked up by a later tick.
#include "autotune/RelayTest.h"
#include "autotune/Tuning.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <future>
#include <memory>
#include <optional>
#include <string>

class TForm1;
namespace chart {
class TChart;
}

class TAutotuneWindow : public QWidget {
    Q_OBJECT
public:
    explicit TAutotuneWindow(TForm1& form);
    ~TAutotuneWindow() override;

    QComboBox* ComboStrana = nullptr;   // "Strana 1", "Strana 2"
    QLineEdit* EditZadana = nullptr;    // the test's setpoint
    QLineEdit* EditH = nullptr;         // the relay's band h
    QPushButton* ButtonStart = nullptr; // "Spustit test"
    QPushButton* ButtonZrusit = nullptr; // "Zrusit test"
    QLabel* LabelPrubeh = nullptr;      // progress, or why the test ended
    QLabel* LabelVysledek = nullptr;    // proposed against current parameters
    chart::TChart* Chart = nullptr;
    QPushButton* ButtonPrijmout = nullptr; // "Prijmout"

    // Fills the setpoint box from the chosen side's current setpoint.
    void Prepare();

    bool Running() const { return test_ && !test_->Finished(); }
    int Side() const { return side_; }
    // One control tick of the side under test: the relay's heater command. A test that ends here
    // gives off once; no test running gives none.
    std::optional<bool> Tick(double temperature, double controlPeriod);
    // Picks up a finished proposal (a control tick calls it).
    void Poll();
    // Ends a running test with the reason; the side goes back to its controller.
    void Cancel(const std::string& reason);
    // Waits until the proposal being computed is there and shows it; false when none is pending.
    bool WaitForProposal();
    const std::optional<autotune::TProposal>& Proposal() const { return proposal_; }
    const autotune::TRelayTest* Test() const { return test_.get(); }

    void ButtonStartClick();
    void ButtonZrusitClick();
    void ButtonPrijmoutClick();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void Ended();
    void ShowProgress();
    void ShowProposal();
    void DrawTest(const std::vector<double>& model);

    TForm1& form_;
    std::unique_ptr<autotune::TRelayTest> test_;
    int side_ = 1;
    double elapsed_ = 0.0;
    double controlPeriod_ = 0.0;
    std::future<autotune::TProposal> pending_;
    std::optional<autotune::TProposal> proposal_;
};
