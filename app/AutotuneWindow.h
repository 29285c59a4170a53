#pragma once
// The autotune window: it says what the relay test does to the oven and about how long it takes,
// the operator picks a side, its setpoint and the relay's band h and starts the test (after a
// question; never while a cycle runs), and watches it live: time, oscillations, the noise and
// the estimate so far, and a chart of the temperature and the heater. At the end it shows the
// proposed r0, Ti and Td beside the side's current ones and the fitted model's curve. Nothing
// changes until the operator accepts; accepting makes the proposal the tested side's own set
// (the other side and the shared boxes of the "Regulator" tab stay as they are). The window also
// shows which set each side uses and can take a side's own set away.
//
// The window is not modal and opens beside the main window. The main window's control tick
// drives the test through Tick and polls the calculations that run away from the user-interface
// thread on copies of the record (the model checks of the test, the proposal, the estimate of
// the test's length) through Poll.
#include "autotune/RelayTest.h"
#include "autotune/Tuning.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QWidget>

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TForm1;
namespace chart {
class TChart;
}

class TAutotuneWindow : public QWidget {
    Q_OBJECT
public:
    explicit TAutotuneWindow(TForm1& form);
    ~TAutotuneWindow() override;

    QLabel* LabelPopis = nullptr;       // what the test does to the oven
    QLabel* LabelOdhad = nullptr;       // how long it will take
    QComboBox* ComboStrana = nullptr;   // "Strana 1", "Strana 2"
    QLineEdit* EditZadana = nullptr;    // the test's setpoint
    QLineEdit* EditH = nullptr;         // the relay's band h
    QPushButton* ButtonStart = nullptr; // "Spustit test"
    QPushButton* ButtonZrusit = nullptr; // "Zrusit test"
    QLabel* LabelPrubeh = nullptr;      // progress, or why the test ended
    QLabel* LabelVysledek = nullptr;    // proposed against current parameters
    chart::TChart* Chart = nullptr;
    QPushButton* ButtonPrijmout = nullptr; // "Prijmout pro stranu N"
    QLabel* LabelSada1 = nullptr;          // which set side 1 uses
    QLabel* LabelSada2 = nullptr;
    QPushButton* ButtonSpolecne1 = nullptr; // "Pouzit spolecne": side 1 back to the shared set
    QPushButton* ButtonSpolecne2 = nullptr;

    // Where the window opens: right of the main window when the screen has room, else left of
    // it, else over the main window's chart, clear of its readouts and buttons (the `keep`
    // pixels at its left edge).
    static QRect BesideGeometry(const QRect& main, const QSize& own, const QRect& screen, int keep);
    void PlaceBeside();
    // Fills the setpoint box from the chosen side's current setpoint and estimates the test.
    void Prepare();

    bool Running() const { return test_ && !test_->Finished(); }
    int Side() const { return side_; }
    // One control tick of the side under test: the relay's heater command. A test that ends here
    // gives off once; no test running gives none.
    std::optional<bool> Tick(double temperature, double controlPeriod);
    // Picks up what the calculations beside the window have finished (a control tick calls it).
    void Poll();
    // Ends a running test with the reason; the side goes back to its controller.
    void Cancel(const std::string& reason);
    // Waits until the pending model check, and then the proposal, are there and takes them;
    // false when no proposal is pending.
    bool WaitForProposal();
    // Waits for the pending model check; false when none is pending.
    bool WaitForCheck();
    // Waits for the estimate of the test's length being computed; false when none is.
    bool WaitForEstimate();
    const std::optional<autotune::TProposal>& Proposal() const { return proposal_; }
    const autotune::TRelayTest* Test() const { return test_.get(); }
    // Which set each side uses, in LabelSada1 and LabelSada2.
    void ShowSides();

    void ButtonStartClick();
    void ButtonZrusitClick();
    void ButtonPrijmoutClick();
    void ButtonSpolecneClick(int side);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void StartTest(int side, double setpoint, double h);
    void Ended();
    void ShowProgress();
    void ShowProposal();
    void ShowEstimate();
    void Estimate();
    void CheckModel();
    void TakeCheck();
    void DrawTest(const std::vector<double>& model);
    void DrawSample();
    std::string EstimateText() const;

    TForm1& form_;
    std::unique_ptr<autotune::TRelayTest> test_;
    autotune::TModelWatch watch_;
    int side_ = 1;
    double elapsed_ = 0.0;
    double controlPeriod_ = 0.0;
    // The chart's heater step is drawn a fifth of the temperature's range high.
    double low_ = 0.0;
    double high_ = 0.0;
    std::future<std::optional<autotune::TModelFigures>> check_;
    std::future<autotune::TProposal> pending_;
    std::optional<autotune::TProposal> proposal_;
    std::future<std::optional<double>> estimate_;
    bool estimateStale_ = false; // the inputs changed while an estimate was being computed
    std::optional<double> estimated_; // s
};
