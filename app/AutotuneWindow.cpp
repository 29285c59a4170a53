#include "app/AutotuneWindow.h"

#include "app/Controls.h"
#include "app/Shape.h"
#include "app/form1.h"

#include "chart/TChart.h"
#include "journal/EventKinds.h"
#include "text/NumText.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
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

// A time in seconds: one decimal below 10 s, whole seconds from there on.
std::string Seconds(double seconds) { return Fixed(seconds, std::fabs(seconds) < 9.95 ? 1 : 0) + " s"; }

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

// A length for the operator: whole minutes, hours and minutes from two hours on.
std::string Minutes(double seconds) {
    const long minutes = std::max(1L, std::lround(seconds / 60.0));
    if (minutes < 120) return std::to_string(minutes) + " min";
    return std::to_string(minutes / 60) + " h" + (minutes % 60 != 0 ? " " + std::to_string(minutes % 60) + " min" : "");
}

std::string ParameterText(double r0, double ti, double td) {
    return "r0 = " + numtext::FormatFloat(r0) + ", Ti = " + numtext::FormatFloat(ti) + ", Td = " +
           numtext::FormatFloat(td);
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

constexpr int SeriesTemperature = 0;
constexpr int SeriesHeater = 1;
constexpr int SeriesModel = 2;

constexpr double DefaultHysteresis = 1.0;

} // namespace

TAutotuneWindow::TAutotuneWindow(TForm1& form) : QWidget(&form, Qt::Window), form_(form) {
    setObjectName(QStringLiteral("AutotuneWindow"));
    setWindowTitle(QStringLiteral("Autotune"));
    resize(640, 560);

    LabelPopis = new QLabel(
        QStringLiteral("Test zapina a vypina topeni zvolene strany naplno, aby teplota kmitala kolem zadane hodnoty "
                       "(o h nad ni a pod ni); regulace te strany po dobu testu stoji. Z odezvy navrhne r0, Ti, Td "
                       "pro tuto stranu, ktere plati az po prijeti."),
        this);
    LabelPopis->setObjectName(QStringLiteral("LabelPopis"));
    LabelPopis->setWordWrap(true);
    LabelOdhad = new QLabel(this);
    LabelOdhad->setObjectName(QStringLiteral("LabelOdhad"));
    LabelOdhad->setWordWrap(true);
    ComboStrana = new QComboBox(this);
    ComboStrana->setObjectName(QStringLiteral("ComboStrana"));
    ComboStrana->addItems({QStringLiteral("Strana 1"), QStringLiteral("Strana 2")});
    EditZadana = new QLineEdit(this);
    EditZadana->setObjectName(QStringLiteral("EditZadana"));
    EditH = new QLineEdit(QString::fromStdString(numtext::FormatFloat(DefaultHysteresis)), this);
    EditH->setObjectName(QStringLiteral("EditH"));
    EditH->setToolTip(QStringLiteral("Pasmo rele: topeni se zapne pod zadanou - h a vypne nad zadanou + h. "
                                     "Je-li cidlo zasumene, test h zvetsi."));
    for (QLineEdit* e : {EditZadana, EditH}) e->setMaximumWidth(70);
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
    LabelVysledek->setWordWrap(true);
    ButtonPrijmout = new QPushButton(QStringLiteral("Prijmout"), this);
    ButtonPrijmout->setObjectName(QStringLiteral("ButtonPrijmout"));
    ButtonPrijmout->setEnabled(false);
    LabelSada1 = new QLabel(this);
    LabelSada2 = new QLabel(this);
    LabelSada1->setObjectName(QStringLiteral("LabelSada1"));
    LabelSada2->setObjectName(QStringLiteral("LabelSada2"));
    ButtonSpolecne1 = new QPushButton(QStringLiteral("Pouzit spolecne"), this);
    ButtonSpolecne2 = new QPushButton(QStringLiteral("Pouzit spolecne"), this);
    ButtonSpolecne1->setObjectName(QStringLiteral("ButtonSpolecne1"));
    ButtonSpolecne2->setObjectName(QStringLiteral("ButtonSpolecne2"));
    for (QPushButton* b : {ButtonSpolecne1, ButtonSpolecne2})
        b->setToolTip(QStringLiteral("Strana pouzije r0, Ti, Td z karty Regulator"));
    // A button takes Enter itself when it has the focus (the window is no dialog, so nothing
    // else does); Enter in a box only takes its value.
    for (QPushButton* b : {ButtonStart, ButtonZrusit, ButtonPrijmout, ButtonSpolecne1, ButtonSpolecne2})
        b->setAutoDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Strana:"), this));
    top->addWidget(ComboStrana);
    top->addWidget(new QLabel(QStringLiteral("Zadana:"), this));
    top->addWidget(EditZadana);
    top->addWidget(new QLabel(QStringLiteral("C"), this));
    top->addSpacing(8);
    top->addWidget(new QLabel(QStringLiteral("h ="), this));
    top->addWidget(EditH);
    top->addWidget(new QLabel(QStringLiteral("C"), this));
    top->addStretch(1);
    top->addWidget(ButtonStart);
    top->addWidget(ButtonZrusit);
    auto* result = new QHBoxLayout;
    result->addWidget(LabelVysledek, 1);
    result->addWidget(ButtonPrijmout, 0, Qt::AlignBottom);
    auto* sides = new QGridLayout;
    sides->addWidget(LabelSada1, 0, 0);
    sides->addWidget(ButtonSpolecne1, 0, 1);
    sides->addWidget(LabelSada2, 1, 0);
    sides->addWidget(ButtonSpolecne2, 1, 1);
    sides->setColumnStretch(0, 1);
    auto* all = new QVBoxLayout(this);
    all->addWidget(LabelPopis);
    all->addWidget(LabelOdhad);
    all->addLayout(top);
    all->addWidget(LabelPrubeh);
    all->addWidget(Chart, 1);
    all->addLayout(result);
    all->addLayout(sides);

    auto click = [this](QPushButton* b, auto handler) {
        connect(b, &QPushButton::clicked, this, [this, handler] { form_.Guard([&] { handler(); }); });
    };
    click(ButtonStart, [this] { ButtonStartClick(); });
    click(ButtonZrusit, [this] { ButtonZrusitClick(); });
    click(ButtonPrijmout, [this] { ButtonPrijmoutClick(); });
    click(ButtonSpolecne1, [this] { ButtonSpolecneClick(1); });
    click(ButtonSpolecne2, [this] { ButtonSpolecneClick(2); });
    connect(ComboStrana, &QComboBox::currentIndexChanged, this, [this] {
        if (!Running()) form_.Guard([&] { Prepare(); });
    });
    for (QLineEdit* e : {EditZadana, EditH})
        connect(e, &QLineEdit::editingFinished, this, [this] {
            if (!Running()) form_.Guard([&] { Estimate(); });
        });
    ShowSides();
}

TAutotuneWindow::~TAutotuneWindow() {
    if (check_.valid()) check_.wait();
    if (pending_.valid()) pending_.wait();
    if (estimate_.valid()) estimate_.wait();
}

QRect TAutotuneWindow::BesideGeometry(const QRect& main, const QSize& own, const QRect& screen, int keep) {
    constexpr int Gap = 8;
    const int top = std::clamp(main.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - own.height()));
    if (main.right() + Gap + own.width() <= screen.right() + 1) return {QPoint(main.right() + Gap, top), own};
    if (main.left() - Gap - own.width() >= screen.left()) return {QPoint(main.left() - Gap - own.width(), top), own};
    // Over the main window's chart, narrower if the screen needs it.
    const int left = std::max(screen.left(), main.left()) + keep + Gap;
    const int width = std::max(std::min(own.width(), screen.right() + 1 - left), 400);
    return {QPoint(std::max(screen.left(), std::min(left, screen.right() + 1 - width)), top), QSize(width, own.height())};
}

void TAutotuneWindow::PlaceBeside() {
    const QScreen* screen = form_.screen();
    if (screen == nullptr) return;
    // The frame around the window is not known before it is shown: a little room for it.
    const QSize framed = size() + QSize(16, 40);
    const QRect r = BesideGeometry(form_.frameGeometry(), framed, screen->availableGeometry(),
                                   form_.Panel1->width() + (form_.frameGeometry().width() - form_.width()));
    setGeometry(QRect(r.topLeft(), r.size() - QSize(16, 40)));
}

void TAutotuneWindow::Prepare() {
    const int side = ComboStrana->currentIndex() + 1;
    EditZadana->setText(Q(numtext::FormatFloat(form_.S.Setpoint[side])));
    Estimate();
}

void TAutotuneWindow::Estimate() {
    estimated_.reset();
    if (estimate_.valid()) {
        estimateStale_ = true; // computed again once the one running is done
    } else {
        const int side = ComboStrana->currentIndex() + 1;
        autotune::TRelaySettings settings;
        settings.Setpoint = numtext::ParseFloat(Text(EditZadana)).value_or(form_.S.Setpoint[side]);
        settings.Hysteresis = numtext::ParseFloat(Text(EditH)).value_or(DefaultHysteresis);
        estimate_ = std::async(std::launch::async, [recent = form_.RecentResponse[side].Record(), settings,
                                                    cp = form_.S.ControlPeriod] {
            return autotune::EstimateDuration(recent, settings, cp);
        });
    }
    ShowEstimate();
}

bool TAutotuneWindow::WaitForEstimate() {
    if (!estimate_.valid()) return false;
    estimated_ = estimate_.get();
    if (estimateStale_) {
        estimateStale_ = false;
        Estimate();
        return WaitForEstimate();
    }
    ShowEstimate();
    return true;
}

std::string TAutotuneWindow::EstimateText() const {
    const std::string longest = "nejdele " + Minutes(autotune::TRelaySettings{}.TimeLimit);
    if (estimated_)
        return "Odhad doby testu: asi " + Minutes(*estimated_) + " podle dosavadni odezvy strany " +
               std::to_string(ComboStrana->currentIndex() + 1) + ", " + longest + ".";
    return "Doba testu zavisi na peci: obvykle 5 az 30 min, " + longest + ".";
}

void TAutotuneWindow::ShowEstimate() { LabelOdhad->setText(Q(EstimateText())); }

void TAutotuneWindow::ButtonStartClick() {
    if (Running() || pending_.valid()) return;
    const auto setpoint = numtext::ParseFloat(Text(EditZadana));
    const auto h = numtext::ParseFloat(Text(EditH));
    auto refuse = [this](const QString& title, const QString& text) {
        form_.RecordEvent(0, journal::kind::Report, (title + QStringLiteral(": ") + text).toStdString());
        form_.Boxes().ShowOver(this, title, text, TBoxIcon::Warning);
    };
    if (!setpoint) {
        refuse(QStringLiteral("Chyba"), QStringLiteral("Zadana hodnota neni cislo"));
        return;
    }
    if (!h || !(*h > 0.0)) {
        refuse(QStringLiteral("Chyba"), QStringLiteral("Pasmo h musi byt kladne cislo"));
        return;
    }
    const int side = ComboStrana->currentIndex() + 1;
    if (form_.CycleRunning()) {
        refuse(QStringLiteral("Autotune"),
               QStringLiteral("Bezi cyklus: test by prevzal topeni strany %1 uprostred programu. Spustte ho az po "
                              "konci cyklu nebo po STOP.")
                   .arg(side));
        return;
    }
    const int other = 3 - side;
    const std::string question = "Test strany " + std::to_string(side) +
                                 " zapina a vypina topeni naplno, aby teplota kmitala kolem " +
                                 numtext::FormatFloat(*setpoint) + " C (+-" + numtext::FormatFloat(*h) +
                                 " C); regulace strany " + std::to_string(side) + " po dobu testu stoji, strana " +
                                 std::to_string(other) + " se reguluje dal. " + EstimateText() + " Spustit test?";
    form_.Boxes().AskOver(this, QStringLiteral("Autotune"), Q(question), [this, side, sp = *setpoint, hh = *h](bool yes) {
        if (yes) form_.Guard([&] { StartTest(side, sp, hh); });
    });
}

void TAutotuneWindow::StartTest(int side, double setpoint, double h) {
    // The situation may have changed while the question stood.
    if (Running() || pending_.valid() || form_.CycleRunning()) return;
    if (check_.valid()) check_.wait(); // a check of an earlier test is of no use now
    check_ = {};
    watch_ = {};
    side_ = side;
    autotune::TRelaySettings settings;
    settings.Setpoint = setpoint;
    settings.Hysteresis = h;
    test_ = std::make_unique<autotune::TRelayTest>(settings);
    elapsed_ = 0.0;
    proposal_.reset();
    for (int i = 0; i < Chart->SeriesCount(); ++i) Chart->Clear(i);
    Chart->Refresh();
    LabelVysledek->clear();
    ButtonPrijmout->setText(QStringLiteral("Prijmout"));
    ButtonPrijmout->setEnabled(false);
    ButtonStart->setEnabled(false);
    ButtonZrusit->setEnabled(true);
    ComboStrana->setEnabled(false);
    form_.RecordEvent(side_, journal::kind::Autotune,
                      "start: zadana " + numtext::FormatFloat(setpoint) + ", h " + numtext::FormatFloat(h));
    form_.ShowAutotuneSide();
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
    const bool resting = test_->Resting();
    const bool heater = test_->Step(elapsed_, temperature);
    if (resting && !test_->Resting())
        form_.RecordEvent(side_, journal::kind::Autotune,
                          "sum " + Fixed(test_->Noise(), 2) + " C, h " + numtext::FormatFloat(test_->Hysteresis()) +
                              (test_->Hysteresis() > test_->EnteredHysteresis() ? " (zvetseno kvuli sumu)" : ""));
    elapsed_ += controlPeriod;
    DrawSample();
    if (test_->Finished()) {
        Ended();
    } else {
        TakeCheck();
        ShowProgress();
    }
    return heater;
}

void TAutotuneWindow::TakeCheck() {
    // One check at a time; a checkpoint that comes meanwhile waits for the next tick.
    if (check_.valid() || !test_->CheckpointDue()) return;
    check_ = std::async(std::launch::async, [job = autotune::TModelWatch::Take(*test_, controlPeriod_)] {
        return autotune::TModelWatch::Fit(job);
    });
}

void TAutotuneWindow::CheckModel() {
    const auto figures = check_.get();
    if (!test_ || test_->Finished()) return;
    if (watch_.Judge(*test_, figures)) {
        Ended();
    } else {
        TakeCheck();
    }
}

bool TAutotuneWindow::WaitForCheck() {
    if (!check_.valid()) return false;
    check_.wait();
    CheckModel();
    return true;
}

void TAutotuneWindow::Ended() {
    // With the controller off the operator switches the heater by hand: the test leaves it off.
    // With the controller on, its next decision takes the side over.
    if (!form_.CheckBoxRegulace->isChecked()) (side_ == 1 ? form_.CheckBoxTopeni1 : form_.CheckBoxTopeni2)->setChecked(false);
    ButtonStart->setEnabled(true);
    ButtonZrusit->setEnabled(false);
    ComboStrana->setEnabled(true);
    form_.ShowAutotuneSide();
    DrawTest({});
    if (test_->Verdict() != autotune::TVerdict::Done) {
        LabelPrubeh->setText(Q("Test skoncil: " + test_->Reason()));
        form_.RecordEvent(side_, journal::kind::Autotune, "konec: " + test_->Reason());
        return;
    }
    std::string done = "Test dokoncen za " + Clock(test_->Elapsed());
    if (test_->DoneBy() == autotune::TDoneBy::Model) {
        done += ": model pece se ustalil";
        form_.RecordEvent(side_, journal::kind::Autotune, "zmereno: model ustalen za " + Seconds(test_->Elapsed()));
    } else {
        const auto u = test_->Estimate().value_or(autotune::TUltimate{});
        done += ": kmity se ustalily, Pu = " + Seconds(u.Period) + ", a = " + Fixed(u.Amplitude, 2) + " C";
        form_.RecordEvent(side_, journal::kind::Autotune,
                          "zmereno: Pu " + Fixed(u.Period, 1) + " s, a " + Fixed(u.Amplitude, 2));
    }
    LabelPrubeh->setText(Q(done + ". Pocitam navrh..."));
    ButtonStart->setEnabled(false);
    // Fitting the model and trying the candidates takes a second or more: it runs on a copy of
    // the record, away from the window's thread, and a later tick picks the result up.
    pending_ = std::async(std::launch::async, [test = *test_, sp = test_->Settings().Setpoint, cp = controlPeriod_] {
        return autotune::Propose(test, sp, cp);
    });
}

void TAutotuneWindow::Poll() {
    auto ready = [](const auto& f) {
        return f.valid() && f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    if (ready(check_)) CheckModel();
    if (ready(pending_)) WaitForProposal();
    if (ready(estimate_)) WaitForEstimate();
    if (isVisible()) ShowSides(); // "Pouzit" may have changed the shared set
}

bool TAutotuneWindow::WaitForProposal() {
    if (!pending_.valid()) return false;
    proposal_ = pending_.get();
    ButtonStart->setEnabled(true);
    ShowProposal();
    return true;
}

void TAutotuneWindow::ShowProgress() {
    std::string text = "Test bezi: " + Clock(test_->Elapsed());
    if (test_->Resting()) {
        text += ", meri sum cidla (topeni vypnuto)";
    } else {
        text += ", kmitu " + std::to_string(test_->Oscillations()) + "; sum " + Fixed(test_->Noise(), 2) + " C, h = " +
                numtext::FormatFloat(test_->Hysteresis()) + " C";
        if (test_->Hysteresis() > test_->EnteredHysteresis()) text += " (zvetseno kvuli sumu)";
        if (const auto u = test_->Estimate())
            text += "; zatim Pu = " + Seconds(u->Period) + ", a = " + Fixed(u->Amplitude, 2) + " C";
    }
    LabelPrubeh->setText(Q(text));
}

void TAutotuneWindow::DrawSample() {
    const auto& trace = test_->Trace();
    const std::size_t drawn = Chart->PointCount(SeriesTemperature);
    if (trace.size() <= drawn) return;
    bool rescaled = drawn == 0;
    if (rescaled) low_ = high_ = trace.front().Temperature;
    for (std::size_t i = drawn; i < trace.size(); ++i) {
        rescaled = rescaled || trace[i].Temperature < low_ || trace[i].Temperature > high_;
        low_ = std::min(low_, trace[i].Temperature);
        high_ = std::max(high_, trace[i].Temperature);
        Chart->Append(SeriesTemperature, trace[i].Time, trace[i].Temperature);
    }
    // The heater drawn as a low step under the temperature: off at its bottom, on a fifth higher;
    // redrawn whole when the temperature's range has grown.
    auto level = [&](bool on) { return low_ + (on ? 0.2 * (high_ - low_) : 0.0); };
    if (rescaled) {
        std::vector<double> t, heat;
        for (const auto& s : trace) {
            t.push_back(s.Time);
            heat.push_back(level(s.Heater));
        }
        Chart->Replace(SeriesHeater, t, heat);
    } else {
        for (std::size_t i = drawn; i < trace.size(); ++i) Chart->Append(SeriesHeater, trace[i].Time, level(trace[i].Heater));
    }
    Chart->Refresh();
}

void TAutotuneWindow::DrawTest(const std::vector<double>& model) {
    const auto& trace = test_->Trace();
    if (trace.empty()) return;
    DrawSample();
    if (model.size() == trace.size()) {
        std::vector<double> t;
        for (const auto& s : trace) t.push_back(s.Time);
        Chart->Replace(SeriesModel, t, model);
    }
    Chart->Refresh();
}

void TAutotuneWindow::ShowProposal() {
    const autotune::TProposal& p = *proposal_;
    if (p.Model) DrawTest(autotune::ModelPrediction(*p.Model, test_->Trace()));
    const auto& own = form_.S.OwnParameters[side_];
    const double r0 = own ? own->r0 : form_.S.r0, ti = own ? own->Ti : form_.S.Ti, td = own ? own->Td : form_.S.Td;
    auto row = [](const char* name, double proposed, double current) {
        return "<tr><td>" + std::string(name) + "</td><td align=right>" + numtext::FormatFloat(Rounded(proposed)) +
               "</td><td align=right>" + numtext::FormatFloat(current) + "</td></tr>";
    };
    std::string html = "<table cellspacing=4><tr><td></td><td><b>navrh</b></td><td><b>soucasne strany " +
                       std::to_string(side_) + (own ? " (vlastni)" : " (spolecne)") + "</b></td></tr>" +
                       row("r0 =", p.Parameters.r0, r0) + row("Ti =", p.Parameters.Ti, ti) +
                       row("Td =", p.Parameters.Td, td) + "</table>";
    html += "Ku = " + Fixed(p.Ku, 4) + ", Pu = " + Seconds(p.Ultimate.Period) + (p.UltimateFromModel ? " (z modelu)" : "");
    if (p.Model) {
        std::string lags = Seconds(p.Model->Lag1);
        for (const double lag : {p.Model->Lag2, p.Model->Lag3})
            if (lag > 0.0) lags += " / " + Seconds(lag);
        html += "<br>Model: zesileni " + Fixed(p.Model->Gain, 1) + " C, dopravni zpozdeni " + Seconds(p.Model->DeadTime) +
                (p.Model->Lag2 > 0.0 ? ", casove konstanty " : ", casova konstanta ") + lags + ", odchylka " +
                Fixed(p.Model->Error, 2) + " C";
        html += "<br>Skok na zadanou hodnotu na modelu: IAE " + Fixed(p.ModelIae, 2) + " x fyzikalni mez, prekmit " +
                Fixed(p.ModelOvershoot, 1) + " C";
    } else {
        html += "<br>Model se nepodarilo sestavit: navrh podle pravidla Tyreus-Luyben";
    }
    LabelVysledek->setText(Q(html));
    LabelPrubeh->setText(LabelPrubeh->text().replace(QStringLiteral(" Pocitam navrh..."), QString()));
    ButtonPrijmout->setText(QStringLiteral("Prijmout pro stranu %1").arg(side_));
    ButtonPrijmout->setEnabled(autotune::Valid(p.Parameters));
    form_.RecordEvent(side_, journal::kind::Autotune,
                      "navrh: r0 " + numtext::FormatFloat(Rounded(p.Parameters.r0)) + ", Ti " +
                          numtext::FormatFloat(Rounded(p.Parameters.Ti)) + ", Td " +
                          numtext::FormatFloat(Rounded(p.Parameters.Td)));
}

void TAutotuneWindow::ButtonPrijmoutClick() {
    if (!proposal_ || !autotune::Valid(proposal_->Parameters)) return;
    state::SideParameters own;
    own.r0 = Rounded(proposal_->Parameters.r0);
    own.Ti = Rounded(proposal_->Parameters.Ti);
    own.Td = Rounded(proposal_->Parameters.Td);
    form_.ApplySideParameters(side_, own);
    ButtonPrijmout->setEnabled(false);
    const std::string values = ParameterText(own.r0, own.Ti, own.Td);
    form_.RecordEvent(side_, journal::kind::Autotune,
                      "prijato pro stranu " + std::to_string(side_) + ": r0 " + numtext::FormatFloat(own.r0) + ", Ti " +
                          numtext::FormatFloat(own.Ti) + ", Td " + numtext::FormatFloat(own.Td));
    LabelPrubeh->setText(Q("Navrh prijat pro stranu " + std::to_string(side_) + ": " + values + ". Strana " +
                           std::to_string(3 - side_) + " a pole r0, Ti, Td na karte Regulator se nezmenily."));
}

void TAutotuneWindow::ButtonSpolecneClick(int side) {
    if (!form_.S.OwnParameters[side]) return;
    form_.ApplySideParameters(side, std::nullopt);
    form_.RecordEvent(side, journal::kind::Autotune, "strana " + std::to_string(side) + ": spolecne r0, Ti, Td");
}

void TAutotuneWindow::ShowSides() {
    const state::RegulatorState& S = form_.S;
    for (int side = 1; side <= state::SideCount; ++side) {
        const auto& own = S.OwnParameters[side];
        const std::string text = "Strana " + std::to_string(side) +
                                 (own ? ": vlastni " + ParameterText(own->r0, own->Ti, own->Td)
                                      : ": spolecne " + ParameterText(S.r0, S.Ti, S.Td) + " (karta Regulator)");
        SetText(side == 1 ? LabelSada1 : LabelSada2, text);
        (side == 1 ? ButtonSpolecne1 : ButtonSpolecne2)->setEnabled(own.has_value());
    }
}

void TAutotuneWindow::closeEvent(QCloseEvent* e) {
    form_.Guard([&] { Cancel("Okno zavreno"); });
    e->accept();
}
