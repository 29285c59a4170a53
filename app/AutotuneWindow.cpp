#include "app/AutotuneWindow.h"

#include "app/Controls.h"
#include "app/Shape.h"
#include "app/form1.h"

#include "chart/TChart.h"
#include "journal/EventKinds.h"
#include "text/NumText.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

namespace {

// A number with the given decimals and the decimal comma.
std::string Fixed(double value, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string s(buf, r.ptr);
    std::replace(s.begin(), s.end(), '.', ',');
    return s;
}

// A parameter as the operator will see it in its box: four significant digits.
double Rounded(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 4);
    double back = value;
    std::from_chars(buf, r.ptr, back);
    return back;
}

std::string Clock(double seconds) {
    const auto s = static_cast<long>(seconds);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    return buf;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

constexpr int SeriesTemperature = 0;
constexpr int SeriesHeater = 1;
constexpr int SeriesModel = 2;

} // namespace

TAutotuneWindow::TAutotuneWindow(TForm1& form) : QWidget(&form, Qt::Window), form_(form) {
    setObjectName(QStringLiteral("AutotuneWindow"));
    setWindowTitle(QStringLiteral("Autotune"));
    resize(620, 480);

    ComboStrana = new QComboBox(this);
    ComboStrana->setObjectName(QStringLiteral("ComboStrana"));
    ComboStrana->addItems({QStringLiteral("Strana 1"), QStringLiteral("Strana 2")});
    EditZadana = new QLineEdit(this);
    EditZadana->setObjectName(QStringLiteral("EditZadana"));
    EditH = new QLineEdit(QStringLiteral("1"), this);
    EditH->setObjectName(QStringLiteral("EditH"));
    ButtonStart = new QPushButton(QStringLiteral("Spustit test"), this);
    ButtonStart->setObjectName(QStringLiteral("ButtonStart"));
    ButtonZrusit = new QPushButton(QStringLiteral("Zrusit test"), this);
    ButtonZrusit->setObjectName(QStringLiteral("ButtonZrusit"));
    ButtonZrusit->setEnabled(false);
    LabelPrubeh = new QLabel(QStringLiteral("Test nebezi"), this);
    LabelPrubeh->setObjectName(QStringLiteral("LabelPrubeh"));
    LabelPrubeh->setWordWrap(true);
    Chart = new chart::TChart(this);
    Chart->setObjectName(QStringLiteral("ChartAutotune"));
    Chart->AddSeries({QStringLiteral("Teplota"), colors::Red, colors::Red, chart::TPenStyle::Solid});
    Chart->AddSeries({QStringLiteral("Topeni"), colors::Grey, colors::Grey, chart::TPenStyle::Solid});
    Chart->AddSeries({QStringLiteral("Model"), colors::Blue, colors::Blue, chart::TPenStyle::Dashed});
    LabelVysledek = new QLabel(this);
    LabelVysledek->setObjectName(QStringLiteral("LabelVysledek"));
    LabelVysledek->setTextFormat(Qt::RichText);
    ButtonPrijmout = new QPushButton(QStringLiteral("Prijmout"), this);
    ButtonPrijmout->setObjectName(QStringLiteral("ButtonPrijmout"));
    ButtonPrijmout->setEnabled(false);
    for (QPushButton* b : {ButtonStart, ButtonZrusit, ButtonPrijmout}) b->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Strana:"), this));
    top->addWidget(ComboStrana);
    top->addWidget(new QLabel(QStringLiteral("Zadana:"), this));
    top->addWidget(EditZadana);
    top->addWidget(new QLabel(QStringLiteral("h ="), this));
    top->addWidget(EditH);
    top->addWidget(ButtonStart);
    top->addWidget(ButtonZrusit);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(LabelVysledek, 1);
    bottom->addWidget(ButtonPrijmout, 0, Qt::AlignBottom);
    auto* all = new QVBoxLayout(this);
    all->addLayout(top);
    all->addWidget(LabelPrubeh);
    all->addWidget(Chart, 1);
    all->addLayout(bottom);

    auto click = [this](QPushButton* b, void (TAutotuneWindow::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { form_.Guard([&] { (this->*handler)(); }); });
    };
    click(ButtonStart, &TAutotuneWindow::ButtonStartClick);
    click(ButtonZrusit, &TAutotuneWindow::ButtonZrusitClick);
    click(ButtonPrijmout, &TAutotuneWindow::ButtonPrijmoutClick);
    connect(ComboStrana, &QComboBox::currentIndexChanged, this, [this] {
        if (!Running()) Prepare();
    });
}

TAutotuneWindow::~TAutotuneWindow() {
    if (pending_.valid()) pending_.wait();
}

void TAutotuneWindow::Prepare() {
    const int side = ComboStrana->currentIndex() + 1;
    EditZadana->setText(Q(numtext::FormatFloat(form_.S.Setpoint[side])));
}

void TAutotuneWindow::ButtonStartClick() {
    if (Running() || pending_.valid()) return;
    const auto setpoint = numtext::ParseFloat(Text(EditZadana));
    const auto h = numtext::ParseFloat(Text(EditH));
    if (!setpoint) {
        form_.ShowBox(QStringLiteral("Chyba"), QStringLiteral("Zadana hodnota neni cislo"), TBoxIcon::Warning);
        return;
    }
    if (!h || !(*h > 0.0)) {
        form_.ShowBox(QStringLiteral("Chyba"), QStringLiteral("Pasmo h musi byt kladne cislo"), TBoxIcon::Warning);
        return;
    }
    side_ = ComboStrana->currentIndex() + 1;
    autotune::TRelaySettings settings;
    settings.Setpoint = *setpoint;
    settings.Hysteresis = *h;
    test_ = std::make_unique<autotune::TRelayTest>(settings);
    elapsed_ = 0.0;
    proposal_.reset();
    for (int i = 0; i < Chart->SeriesCount(); ++i) Chart->Clear(i);
    LabelVysledek->clear();
    ButtonPrijmout->setEnabled(false);
    ButtonStart->setEnabled(false);
    ButtonZrusit->setEnabled(true);
    ComboStrana->setEnabled(false);
    form_.RecordEvent(side_, journal::kind::Autotune,
                      "start: zadana " + numtext::FormatFloat(*setpoint) + ", h " + numtext::FormatFloat(*h));
    ShowProgress();
}

void TAutotuneWindow::ButtonZrusitClick() { Cancel("Zruseno obsluhou"); }

void TAutotuneWindow::Cancel(const std::string& reason) {
    if (!Running()) return;
    test_->Abort(reason);
    Ended();
}

std::optional<bool> TAutotuneWindow::Tick(double temperature, double controlPeriod) {
    if (!Running()) return std::nullopt;
    controlPeriod_ = controlPeriod;
    const bool heater = test_->Step(elapsed_, temperature);
    elapsed_ += controlPeriod;
    if (test_->Finished()) {
        Ended();
    } else {
        ShowProgress();
    }
    return heater;
}

void TAutotuneWindow::Ended() {
    // With the controller off the operator switches the heater by hand: the test leaves it off.
    // With the controller on, its next decision takes the side over.
    if (!form_.CheckBoxRegulace->isChecked()) (side_ == 1 ? form_.CheckBoxTopeni1 : form_.CheckBoxTopeni2)->setChecked(false);
    ButtonStart->setEnabled(true);
    ButtonZrusit->setEnabled(false);
    ComboStrana->setEnabled(true);
    DrawTest({});
    if (test_->Verdict() != autotune::TVerdict::Done) {
        LabelPrubeh->setText(Q("Test skoncil: " + test_->Reason()));
        form_.RecordEvent(side_, journal::kind::Autotune, "konec: " + test_->Reason());
        return;
    }
    const auto u = test_->Estimate().value_or(autotune::TUltimate{});
    form_.RecordEvent(side_, journal::kind::Autotune,
                      "zmereno: Pu " + Fixed(u.Period, 1) + " s, a " + Fixed(u.Amplitude, 2));
    LabelPrubeh->setText(Q("Test dokoncen za " + Clock(test_->Elapsed()) + ": Pu = " + Fixed(u.Period, 0) +
                           " s, a = " + Fixed(u.Amplitude, 2) + " C. Pocitam navrh..."));
    ButtonStart->setEnabled(false);
    // Fitting the model and trying the candidates takes a second or more: it runs on a copy of
    // the record, away from the window's thread, and a later tick picks the result up.
    pending_ = std::async(std::launch::async, [test = *test_, sp = test_->Settings().Setpoint, cp = controlPeriod_] {
        return autotune::Propose(test, sp, cp);
    });
}

void TAutotuneWindow::Poll() {
    if (!pending_.valid() || pending_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    WaitForProposal();
}

bool TAutotuneWindow::WaitForProposal() {
    if (!pending_.valid()) return false;
    proposal_ = pending_.get();
    ButtonStart->setEnabled(true);
    ShowProposal();
    return true;
}

void TAutotuneWindow::ShowProgress() {
    std::string text = "Test bezi: " + Clock(test_->Elapsed()) + ", kmitu " + std::to_string(test_->Oscillations()) +
                       " (potreba " + std::to_string(test_->Settings().Periods) + " shodnych)";
    if (const auto u = test_->Estimate())
        text += ", zatim Pu = " + Fixed(u->Period, 0) + " s, a = " + Fixed(u->Amplitude, 2) + " C";
    LabelPrubeh->setText(Q(text));
    if (test_->Trace().empty()) return;
    const auto& s = test_->Trace().back();
    Chart->Append(SeriesTemperature, s.Time, s.Temperature);
}

void TAutotuneWindow::DrawTest(const std::vector<double>& model) {
    const auto& trace = test_->Trace();
    if (trace.empty()) return;
    std::vector<double> t, temp, heat;
    double lo = trace.front().Temperature, hi = lo;
    for (const auto& s : trace) {
        lo = std::min(lo, s.Temperature);
        hi = std::max(hi, s.Temperature);
    }
    // The heater drawn as a low step under the temperature: off at its bottom, on a fifth higher.
    for (const auto& s : trace) {
        t.push_back(s.Time);
        temp.push_back(s.Temperature);
        heat.push_back(lo + (s.Heater ? 0.2 * (hi - lo) : 0.0));
    }
    Chart->Replace(SeriesTemperature, t, temp);
    Chart->Replace(SeriesHeater, t, heat);
    if (model.size() == t.size()) Chart->Replace(SeriesModel, t, model);
    Chart->Refresh();
}

void TAutotuneWindow::ShowProposal() {
    const autotune::TProposal& p = *proposal_;
    if (p.Model) DrawTest(autotune::ModelPrediction(*p.Model, test_->Trace()));
    auto row = [](const char* name, double proposed, double current) {
        return "<tr><td>" + std::string(name) + "</td><td align=right>" + numtext::FormatFloat(Rounded(proposed)) +
               "</td><td align=right>" + numtext::FormatFloat(current) + "</td></tr>";
    };
    std::string html = "<table cellspacing=4><tr><td></td><td><b>navrh</b></td><td><b>soucasne</b></td></tr>" +
                       row("r0 =", p.Parameters.r0, form_.S.r0) + row("Ti =", p.Parameters.Ti, form_.S.Ti) +
                       row("Td =", p.Parameters.Td, form_.S.Td) + "</table>";
    html += "Ku = " + Fixed(p.Ku, 4) + ", Pu = " + Fixed(p.Ultimate.Period, 0) + " s";
    if (p.Model) {
        html += "<br>Model: zesileni " + Fixed(p.Model->Gain, 1) + " C, dopravni zpozdeni " +
                Fixed(p.Model->DeadTime, 0) + " s, casove konstanty " + Fixed(p.Model->Lag1, 0) + " / " +
                Fixed(p.Model->Lag2, 0) + " / " + Fixed(p.Model->Lag3, 0) + " s, odchylka " + Fixed(p.Model->Error, 2) +
                " C";
        html += "<br>Skok na zadanou hodnotu na modelu: IAE " + Fixed(p.ModelIae, 2) + " x fyzikalni mez, prekmit " +
                Fixed(p.ModelOvershoot, 1) + " C";
    } else {
        html += "<br>Model se nepodarilo sestavit: navrh podle pravidla Tyreus-Luyben";
    }
    LabelVysledek->setText(Q(html));
    LabelPrubeh->setText(LabelPrubeh->text().replace(QStringLiteral(" Pocitam navrh..."), QString()));
    ButtonPrijmout->setEnabled(autotune::Valid(p.Parameters));
    form_.RecordEvent(side_, journal::kind::Autotune,
                      "navrh: r0 " + numtext::FormatFloat(Rounded(p.Parameters.r0)) + ", Ti " +
                          numtext::FormatFloat(Rounded(p.Parameters.Ti)) + ", Td " +
                          numtext::FormatFloat(Rounded(p.Parameters.Td)));
}

void TAutotuneWindow::ButtonPrijmoutClick() {
    if (!proposal_ || !autotune::Valid(proposal_->Parameters)) return;
    const autotune::TParameters& p = proposal_->Parameters;
    SetText(form_.Edit2, numtext::FormatFloat(Rounded(p.r0)));
    SetText(form_.Edit3, numtext::FormatFloat(Rounded(p.Ti)));
    SetText(form_.Edit4, numtext::FormatFloat(Rounded(p.Td)));
    ButtonPrijmout->setEnabled(false);
    form_.RecordEvent(side_, journal::kind::Autotune,
                      "prijato: r0 " + Text(form_.Edit2) + ", Ti " + Text(form_.Edit3) + ", Td " + Text(form_.Edit4));
    form_.Button4Click(&form_);
}

void TAutotuneWindow::closeEvent(QCloseEvent* e) {
    form_.Guard([&] { Cancel("Okno zavreno"); });
    e->accept();
}
