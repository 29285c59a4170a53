#include "chart/ReportPage.h"

#include "chart/PrintLook.h"
#include "report/RunSummary.h"

#include <qcustomplot.h>

#include <QFontMetrics>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <memory>

namespace chart {
namespace {

constexpr int Margin = 70;
constexpr int Top = 60;
constexpr int Bottom = ReportPageHeight - 60;
constexpr int ContentWidth = ReportPageWidth - 2 * Margin;
constexpr int ContinuedTop = Top + 44; // below the running header of a further page
constexpr int ChartHeight = 540;
constexpr int LineHeight = 25;
constexpr int RowHeight = 22;
constexpr int TitleHeight = 32;
constexpr int Padding = 6;
constexpr int ProgramColumns = 6;             // program points per table line and side
constexpr std::size_t MaxNumberedAlarms = 24; // alarms marked on the chart with their numbers

const QColor Side1Colour(255, 0, 0);
const QColor Side2Colour(0, 0, 255);
const QColor ProgramAlarmColour(150, 90, 0); // an alarm of the whole program
const QColor OutageColour(110, 110, 110);
const QColor RuleColour(160, 160, 160);
const QColor GreyText(90, 90, 90);

QString Utf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// What is drawn where on the pages, gathered first so that the number of pages is known when
// they are drawn.
class TFlow {
public:
    TFlow() { NewPage(); }

    int Room() const { return Bottom - y_; }
    bool Fresh() const { return y_ == top_; }
    void NewPage() {
        pages_.emplace_back();
        y_ = top_ = pages_.size() == 1 ? Top : ContinuedTop;
    }
    // Reserves `height` pixels, on a new page when they do not fit here; returns their top.
    int Take(int height) {
        if (height > Room() && !Fresh()) NewPage();
        const int at = y_;
        y_ += height;
        return at;
    }
    void Gap(int height) { y_ = std::min(Bottom, y_ + height); }
    void Add(TPageDraw draw) { pages_.back().push_back(std::move(draw)); }
    const std::vector<std::vector<TPageDraw>>& Pages() const { return pages_; }

private:
    std::vector<std::vector<TPageDraw>> pages_;
    int y_ = Top;
    int top_ = Top;
};

void DrawText(QCPPainter& p, const QRect& r, int flags, const QFont& font, const QColor& colour,
              const QString& text) {
    p.setFont(font);
    p.setPen(colour);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, r.width());
    p.drawText(r, flags, shown);
}

void Rule(QCPPainter& p, int y, const QColor& colour) {
    p.setPen(QPen(colour, 0));
    p.drawLine(QLineF(Margin, y, Margin + ContentWidth, y));
}

// One line of text across the page.
void Line(TFlow& flow, const QString& text, const QFont& font = PixelFont(17),
          const QColor& colour = Qt::black) {
    const int y = flow.Take(LineHeight);
    flow.Add([=](QCPPainter& p) {
        DrawText(p, QRect(Margin, y, ContentWidth, LineHeight), Qt::AlignLeft | Qt::AlignVCenter, font,
                 colour, text);
    });
}

struct TColumn {
    int Width = 0;
    Qt::Alignment Align = Qt::AlignLeft;
};

// A table with a title and an optional header row, broken over pages between groups of rows
// (a group stays together); a table continued on a new page repeats its title and header. A
// header cell reaches over the empty cells after it.
void Table(TFlow& flow, const QString& title, const std::vector<TColumn>& columns, const QStringList& header,
           const std::vector<QStringList>& rows, int group = 1) {
    const QFont font = PixelFont(16), bold = PixelFont(16, true), titleFont = PixelFont(19, true);
    auto drawRow = [&](const QStringList& cells, const QFont& f, bool topRule, bool span) {
        const int y = flow.Take(RowHeight);
        flow.Add([=](QCPPainter& p) {
            if (topRule) Rule(p, y, Qt::black);
            int x = Margin;
            const std::size_t count = std::min(columns.size(), static_cast<std::size_t>(cells.size()));
            for (std::size_t c = 0; c < count; ++c) {
                int width = columns[c].Width;
                for (std::size_t n = c + 1; span && n < count && cells[qsizetype(n)].isEmpty(); ++n)
                    width += columns[n].Width;
                const QRect r(x + Padding, y, width - 2 * Padding, RowHeight);
                DrawText(p, r, int(columns[c].Align | Qt::AlignVCenter), f, Qt::black, cells[qsizetype(c)]);
                x += columns[c].Width;
            }
            Rule(p, y + RowHeight, RuleColour);
        });
    };
    auto heading = [&](bool continued) {
        if (!title.isEmpty()) {
            const int y = flow.Take(TitleHeight);
            const QString text = continued ? title + QStringLiteral(" (pokracovani)") : title;
            flow.Add([=](QCPPainter& p) {
                DrawText(p, QRect(Margin, y, ContentWidth, TitleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         titleFont, Qt::black, text);
            });
        }
        if (!header.isEmpty()) drawRow(header, bold, true, true);
    };
    const int headingHeight = (title.isEmpty() ? 0 : TitleHeight) + (header.isEmpty() ? 0 : RowHeight);
    const int groupHeight = group * RowHeight;
    if (headingHeight + (rows.empty() ? 0 : groupHeight) > flow.Room() && !flow.Fresh()) flow.NewPage();
    heading(false);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i % static_cast<std::size_t>(group) == 0 && groupHeight > flow.Room()) {
            flow.NewPage();
            heading(true);
        }
        drawRow(rows[i], font, header.isEmpty() && i % static_cast<std::size_t>(group) == 0, false);
    }
}

// ---- The chart.

// A vertical mark on the time axis with a short text at the top or the bottom of the plot; marks
// close together put their texts one below the other (`level`).
void Mark(QCustomPlot& plot, double x, const QPen& pen, const QString& text, bool atTop, int level = 0) {
    auto* line = new QCPItemStraightLine(&plot);
    line->setLayer(QStringLiteral("marks")); // behind the curves
    line->setPen(pen);
    line->point1->setCoords(x, 0.0);
    line->point2->setCoords(x, 1.0);
    if (text.isEmpty()) return;
    auto* label = new QCPItemText(&plot);
    label->position->setTypeX(QCPItemPosition::ptPlotCoords);
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(x, atTop ? 0.05 * level : 1.0 - 0.05 * level);
    label->setPositionAlignment(Qt::AlignHCenter | (atTop ? Qt::AlignTop : Qt::AlignBottom));
    label->setFont(PixelFont(13, true));
    label->setColor(pen.color());
    label->setBrush(Qt::white);
    label->setPadding(QMargins(2, 1, 2, 1));
    label->setText(text);
}

QColor SideColour(int side) {
    return side == 1 ? QColor(200, 0, 0) : side == 2 ? QColor(0, 0, 200) : ProgramAlarmColour;
}

// The values of a column for a graph: degrees, with gaps (NaN) where the line must not be drawn.
struct TCurve {
    QVector<double> X, Y;
};

// A curve of the log's lines: the line breaks before each of `gapBefore` (the first lines after
// outages, ascending); `skip` tells lines that are left out.
template <class Skip>
TCurve Curve(const std::vector<double>& x, const std::vector<std::int32_t>& tenths,
             const std::vector<std::size_t>& gapBefore, Skip skip) {
    TCurve c;
    c.X.reserve(static_cast<qsizetype>(x.size() + gapBefore.size()));
    c.Y.reserve(c.X.capacity());
    std::size_t g = 0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (g < gapBefore.size() && gapBefore[g] == i && i > 0) {
            c.X.push_back((x[i - 1] + x[i]) / 2.0);
            c.Y.push_back(nan);
        }
        while (g < gapBefore.size() && gapBefore[g] <= i)
            ++g;
        c.X.push_back(x[i]);
        c.Y.push_back(skip(i) ? nan : report::FromTenths(tenths[i]));
    }
    return c;
}

void AddGraph(QCustomPlot& plot, const QString& name, const QPen& pen, const TCurve& curve) {
    QCPGraph* g = plot.addGraph();
    g->setName(name);
    g->setPen(pen);
    g->setAdaptiveSampling(true);
    g->setData(curve.X, curve.Y, true);
}

// The chart of the run on a white page: the reference first (behind), then the four series in
// the window's order, setpoints dashed in the side's colour; the alarms and outages marked.
void BuildPlot(QCustomPlot& plot, const TReportRun& run, const std::vector<report::LoggedEvent>& alarms) {
    const report::LogTable& log = *run.Log;
    const std::vector<double> x = report::RunTimes(log);
    std::vector<std::size_t> gaps;
    if (run.Record != nullptr) {
        for (const report::Outage& o : run.Record->Outages)
            gaps.push_back(o.Line);
    }
    const std::vector<std::size_t> none;
    auto keepAll = [](std::size_t) { return false; };
    if (run.Reference != nullptr) {
        const std::vector<double> rx = report::RunTimes(*run.Reference);
        const QString from = QStringLiteral(" (%1)").arg(Utf8(run.ReferenceName));
        AddGraph(plot, QStringLiteral("Reference_1") + from,
                 PrintPen(ReferencePrintColour(1), Qt::SolidLine, 2.0),
                 Curve(rx, run.Reference->Side1.Temperature, none, keepAll));
        AddGraph(plot, QStringLiteral("Reference_2") + from,
                 PrintPen(ReferencePrintColour(2), Qt::SolidLine, 2.0),
                 Curve(rx, run.Reference->Side2.Temperature, none, keepAll));
    }
    // The setpoint of 0 that a cycle logs until its first control tick is no setpoint (a side
    // whose setpoint stays 0 keeps it).
    auto startZero = [&log](const report::LogSide& side) {
        auto skip = std::make_shared<std::vector<bool>>(log.Size(), false);
        for (std::size_t c = 0; c < log.Size(); ++c) {
            const bool cycleStart =
                log.Time[c] <= report::CycleStartTenths && (c == 0 || log.Time[c] < log.Time[c - 1]);
            if (!cycleStart) continue;
            std::size_t j = c;
            while (j < log.Size() && side.Setpoint[j] == 0 && (j == c || log.Time[j] >= log.Time[j - 1]))
                ++j;
            if (j < log.Size() && side.Setpoint[j] != 0)
                std::fill(skip->begin() + std::ptrdiff_t(c), skip->begin() + std::ptrdiff_t(j), true);
        }
        return [skip](std::size_t i) { return (*skip)[i]; };
    };
    // Start-up temperatures logged after an outage, before a unit reported, are no readings.
    auto noReading = [&run](int side) {
        return
            [&run, side](std::size_t i) { return run.Record != nullptr && run.Record->NoReading(side, i); };
    };
    AddGraph(plot, QStringLiteral("Teplota_1"), PrintPen(Side1Colour, Qt::SolidLine, 1.0),
             Curve(x, log.Side1.Temperature, gaps, noReading(1)));
    AddGraph(plot, QStringLiteral("Zadana_hodnota_1"), PrintPen(Side1Colour, Qt::DashLine, 1.0),
             Curve(x, log.Side1.Setpoint, gaps, startZero(log.Side1)));
    AddGraph(plot, QStringLiteral("Teplota_2"), PrintPen(Side2Colour, Qt::SolidLine, 1.0),
             Curve(x, log.Side2.Temperature, gaps, noReading(2)));
    AddGraph(plot, QStringLiteral("Zadana_hodnota_2"), PrintPen(Side2Colour, Qt::DashLine, 1.0),
             Curve(x, log.Side2.Setpoint, gaps, startZero(log.Side2)));

    plot.rescaleAxes();
    const QCPRange y = plot.yAxis->range();
    const double margin = std::max(1.0, y.size() * 0.03);
    plot.yAxis->setRange(y.lower - margin, y.upper + margin);
    if (!x.empty()) plot.xAxis->setRange(x.front(), x.back());
    if (plot.xAxis->range().size() <= 0.0)
        plot.xAxis->setRange(plot.xAxis->range().lower - 1.0, plot.xAxis->range().upper + 1.0);

    plot.addLayer(QStringLiteral("marks"), plot.layer(QStringLiteral("main")), QCustomPlot::limBelow);
    if (run.Record != nullptr) {
        // Many alarms (a unit that keeps dropping out) are faint lines without numbers, which
        // would only cover one another; the table numbers them all the same.
        const bool numbered = alarms.size() <= MaxNumberedAlarms;
        const double near = plot.xAxis->range().size() * 0.03;
        double last = -std::numeric_limits<double>::infinity();
        int level = 0;
        for (std::size_t i = 0; i < alarms.size(); ++i) {
            const double at = report::EventRunTime(*run.Record, log, x, alarms[i].Time);
            level = at - last < near ? (level + 1) % 6 : 0;
            last = at;
            QColor colour = SideColour(alarms[i].Side);
            if (!numbered) // faint, but opaque: a PDF keeps transparency as a costly object per line
                colour = QColor((colour.red() + 2 * 255) / 3, (colour.green() + 2 * 255) / 3,
                                (colour.blue() + 2 * 255) / 3);
            Mark(plot, at, PrintPen(colour, Qt::DashLine, numbered ? 1.5 : 0.5),
                 numbered ? QStringLiteral("A%1").arg(i + 1) : QString(), true, level);
        }
        for (const report::Outage& o : run.Record->Outages) {
            const auto seconds = o.Seconds();
            const QString text = seconds ? QStringLiteral("vypadek %1").arg(Utf8(report::SpanText(*seconds)))
                                         : QStringLiteral("vypadek");
            Mark(plot, x[o.Line], PrintPen(OutageColour, Qt::SolidLine, 3.0), text, false);
        }
    }
    ApplyPrintLook(plot, {});
}

// ---- The texts of the header.

QString SideHeading(const TReportRun& run, int side) {
    const QString plain = QStringLiteral("Strana %1").arg(side);
    if (run.Settings == nullptr) return plain;
    const QString name = Utf8(run.Settings->Side(side).Name);
    return name == plain ? plain : plain + QStringLiteral(": ") + name;
}

QString Clock(report::LocalSeconds t, bool toTheSecond) {
    return Utf8(toTheSecond ? report::ClockText(t) : report::ClockMinutesText(t));
}

QString TimesLine(const TReportRun& run) {
    const report::RunRecord* r = run.Record;
    if (r == nullptr || !r->Start)
        return QStringLiteral("Datum a cas behu: neznamy (nazev souboru neni data_dd_mm_yy__hh_nn.txt)");
    const report::LocalSeconds start = *r->Start;
    QString text = QStringLiteral("Datum: %1     Zacatek: %2")
                       .arg(Utf8(report::DateText(start)), Clock(start, r->StartToTheSecond));
    if (r->End) {
        const report::LocalSeconds end = *r->End;
        QString endText = Clock(end, r->EndFromJournal && r->StartToTheSecond);
        if (report::DateText(end) != report::DateText(start))
            endText = Utf8(report::DateText(end)) + " " + endText;
        if (!r->EndFromJournal) endText = QStringLiteral("asi ") + endText;
        text += QStringLiteral("     Konec: %1     Trvani: %2")
                    .arg(endText, Utf8(report::SpanText(std::max<report::LocalSeconds>(0, end - start))));
    }
    return text;
}

QStringList HeaderLines(const TReportRun& run) {
    QStringList lines;
    QString file = QStringLiteral("Datovy soubor: %1").arg(Utf8(run.LogName));
    if (run.Settings != nullptr && !run.Settings->Oven.empty())
        file += QStringLiteral("     Pec: %1").arg(Utf8(run.Settings->Oven));
    lines << file << TimesLine(run);
    if (run.Settings != nullptr && run.Settings->Found) {
        QStringList sides;
        for (int side = 1; side <= 2; ++side)
            sides << QStringLiteral("%1 (%2)").arg(SideHeading(run, side),
                                                   Utf8(run.Settings->Side(side).Port));
        lines << sides.join(QStringLiteral("     "));
    }
    if (run.Reference != nullptr) lines << QStringLiteral("Reference: %1").arg(Utf8(run.ReferenceName));
    if (run.Record != nullptr) {
        const std::vector<double> x = report::RunTimes(*run.Log);
        for (const report::Outage& o : run.Record->Outages) {
            QString text = QStringLiteral("Vypadek");
            if (o.From && o.To) {
                text += QStringLiteral(": %1 az %2 (%3)")
                            .arg(Utf8(report::ClockText(*o.From)), Utf8(report::ClockText(*o.To)),
                                 Utf8(report::SpanText(*o.Seconds())));
            } else {
                text += QStringLiteral(" (delka neznama, denik udalosti o nem nevi)");
            }
            text += QStringLiteral(", cyklus pokracoval v case cyklu %1")
                        .arg(Utf8(report::DurationText(run.Log->Time[o.Line])));
            lines << text;
        }
    }
    if (run.Log->SkippedLines > 0)
        lines << QStringLiteral("Vynechano chybnych radku: %1").arg(run.Log->SkippedLines);
    if (run.Log->CutLastLine) lines << QStringLiteral("Posledni radek neuplny (vynechan)");
    return lines;
}

// ---- The tables.

const std::vector<TColumn> SideColumns = {{500, Qt::AlignLeft}, {300, Qt::AlignRight}, {300, Qt::AlignRight}};

void SummaryTable(TFlow& flow, const TReportRun& run) {
    const report::RunRecord* record = run.Record;
    const report::RunSummary summary =
        record != nullptr
            ? report::Summarize(*run.Log,
                                [record](int side, std::size_t i) { return record->NoReading(side, i); })
            : report::Summarize(*run.Log);
    const std::vector<report::SummaryRow> rows =
        run.Record != nullptr ? report::RecordRows(summary, *run.Record) : report::SummaryRows(summary);
    std::vector<QStringList> cells;
    for (const report::SummaryRow& r : rows)
        cells.push_back({Utf8(r.Label), Utf8(r.Side1), Utf8(r.Side2)});
    Table(flow, QStringLiteral("Souhrn"), SideColumns, {QString(), SideHeading(run, 1), SideHeading(run, 2)},
          cells);
}

QString SettingsNote(const report::RunSettings& s) {
    return s.AsOfRun ? QStringLiteral("stav v dobe behu")
                     : QStringLiteral("aktualni nastaveni, stav v dobe behu neni znam");
}

void SettingsTables(TFlow& flow, const TReportRun& run) {
    const report::RunSettings* s = run.Settings;
    if (s == nullptr) return;
    if (!s->Found) {
        flow.Gap(8);
        Line(flow, QStringLiteral("Nastaveni: Regulator.ini nenalezen"), PixelFont(17), GreyText);
        return;
    }
    std::vector<QStringList> cells;
    for (const report::SettingRow& r : report::SettingRows(*s))
        cells.push_back({Utf8(r.Label), Utf8(r.Side1), Utf8(r.Side2)});
    flow.Gap(10);
    Table(flow, QStringLiteral("Nastaveni regulatoru (%1)").arg(SettingsNote(*s)), SideColumns,
          {QString(), SideHeading(run, 1), SideHeading(run, 2)}, cells);

    // The programs side by side: per side, lines of times over lines of temperatures.
    const int half = ContentWidth / 2;
    const int labelWidth = 150;
    const int pointWidth = (half - labelWidth - 10) / ProgramColumns;
    std::vector<TColumn> columns;
    for (int side = 1; side <= 2; ++side) {
        columns.push_back({labelWidth, Qt::AlignLeft});
        for (int i = 0; i < ProgramColumns; ++i)
            columns.push_back({pointWidth, Qt::AlignRight});
        columns.push_back({half - labelWidth - ProgramColumns * pointWidth, Qt::AlignLeft});
    }
    QStringList header;
    std::size_t lines = 1;
    for (int side = 1; side <= 2; ++side) {
        const std::vector<report::ProgramPoint>& program = s->Side(side).Program;
        header << SideHeading(run, side) + (program.empty() ? QStringLiteral(": bez bodu") : QString());
        for (int i = 0; i <= ProgramColumns; ++i)
            header << QString();
        lines = std::max(lines, (program.size() + ProgramColumns - 1) / ProgramColumns);
    }
    std::vector<QStringList> rows;
    for (std::size_t line = 0; line < lines; ++line) {
        QStringList times, temps;
        for (int side = 1; side <= 2; ++side) {
            const std::vector<report::ProgramPoint>& program = s->Side(side).Program;
            const std::size_t from = line * ProgramColumns;
            const bool any = from < program.size();
            times << (any ? QStringLiteral("Cas [s]") : QString());
            temps << (any ? QStringLiteral("Teplota [\u00b0C]") : QString());
            for (std::size_t i = from; i < from + ProgramColumns + 1; ++i) {
                const bool point = i < program.size() && i < from + ProgramColumns;
                times << (point ? QString::number(program[i].Time) : QString());
                temps << (point ? QString::number(program[i].Temp) : QString());
            }
        }
        rows.push_back(times);
        rows.push_back(temps);
    }
    flow.Gap(6);
    Table(flow, QStringLiteral("Programy (%1)").arg(SettingsNote(*s)), columns, header, rows, 2);
}

void EventTable(TFlow& flow, const TReportRun& run, const std::vector<report::LoggedEvent>& events) {
    flow.Gap(10);
    if (run.Record == nullptr || !run.Record->Start) {
        Line(flow, QStringLiteral("Udalosti: cas behu neni znam"), PixelFont(17), GreyText);
        return;
    }
    if (events.empty()) {
        Line(flow, QStringLiteral("Udalosti: zadne (Data/events.txt nic nezaznamenal v dobe behu)"),
             PixelFont(17), GreyText);
        return;
    }
    const std::string startDate = report::DateText(*run.Record->Start);
    bool otherDay = false;
    for (const report::LoggedEvent& e : events)
        otherDay = otherDay || report::DateText(e.Time) != startDate;
    const int timeWidth = otherDay ? 210 : 110;
    const std::vector<TColumn> columns = {{56, Qt::AlignLeft},
                                          {timeWidth, Qt::AlignLeft},
                                          {80, Qt::AlignLeft},
                                          {250, Qt::AlignLeft},
                                          {ContentWidth - 56 - timeWidth - 80 - 250, Qt::AlignLeft}};
    std::vector<QStringList> rows;
    int alarm = 0;
    for (const report::LoggedEvent& e : events) {
        QString time = Utf8(report::ClockText(e.Time));
        if (otherDay) time = Utf8(report::DateText(e.Time)) + " " + time;
        rows.push_back({report::IsAlarm(e.Kind) ? QStringLiteral("A%1").arg(++alarm) : QString(), time,
                        e.Side == 0 ? QStringLiteral("-") : QString::number(e.Side),
                        Utf8(report::EventName(e.Kind)), Utf8(e.Detail)});
    }
    Table(flow, QStringLiteral("Udalosti behu (Data/events.txt)"), columns,
          {QStringLiteral("#"), QStringLiteral("Cas"), QStringLiteral("Strana"), QStringLiteral("Udalost"),
           QStringLiteral("Podrobnosti")},
          rows);
}

// The pages of the report, laid out.
std::vector<TPageDraw> LayOut(const TReportRun& run) {
    TFlow flow;
    const std::vector<report::LoggedEvent> events =
        run.Record != nullptr ? report::TableEvents(*run.Record) : std::vector<report::LoggedEvent>{};
    std::vector<report::LoggedEvent> alarms;
    std::copy_if(events.begin(), events.end(), std::back_inserter(alarms),
                 [](const report::LoggedEvent& e) { return report::IsAlarm(e.Kind); });

    const int titleY = flow.Take(48);
    flow.Add([=](QCPPainter& p) {
        DrawText(p, QRect(Margin, titleY, ContentWidth - 160, 44), Qt::AlignLeft | Qt::AlignVCenter,
                 PixelFont(30, true), Qt::black, QStringLiteral("Protokol o prubehu regulace"));
    });
    for (const QString& line : HeaderLines(run))
        Line(flow, line);
    flow.Gap(8);

    // The plot lives as long as the pages that draw it.
    auto plot = std::make_shared<QCustomPlot>();
    plot->setAttribute(Qt::WA_DontShowOnScreen);
    plot->resize(ContentWidth, ChartHeight);
    BuildPlot(*plot, run, alarms);
    const int chartY = flow.Take(ChartHeight);
    flow.Add([plot, chartY](QCPPainter& p) {
        p.save();
        p.translate(Margin, chartY);
        plot->toPainter(&p, ContentWidth, ChartHeight);
        p.restore();
    });
    flow.Gap(12);

    SummaryTable(flow, run);
    SettingsTables(flow, run);
    EventTable(flow, run, events);

    // Every page says which it is; further pages name the log at their top.
    const std::vector<std::vector<TPageDraw>>& laid = flow.Pages();
    const int count = static_cast<int>(laid.size());
    std::vector<TPageDraw> pages;
    for (int n = 1; n <= count; ++n) {
        const std::vector<TPageDraw>& draws = laid[static_cast<std::size_t>(n - 1)];
        const QString logName = Utf8(run.LogName);
        pages.push_back([draws, n, count, logName](QCPPainter& p) {
            DrawText(p, QRect(Margin, Top, ContentWidth, 30), Qt::AlignRight | Qt::AlignVCenter,
                     PixelFont(15), GreyText, QStringLiteral("list %1/%2").arg(n).arg(count));
            if (n > 1) {
                DrawText(p, QRect(Margin, Top, ContentWidth - 120, 30), Qt::AlignLeft | Qt::AlignVCenter,
                         PixelFont(15), GreyText,
                         QStringLiteral("Protokol o prubehu regulace: %1").arg(logName));
                Rule(p, Top + 34, RuleColour);
            }
            for (const TPageDraw& draw : draws)
                draw(p);
        });
    }
    return pages;
}

std::string LowerExtension(const std::filesystem::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

int WriteRunReport(const std::filesystem::path& file, const TReportRun& run) {
    if (run.Log == nullptr || run.Log->Size() == 0) throw std::invalid_argument("no lines to report");
    const std::string ext = LowerExtension(file);
    if (ext != ".pdf" && ext != ".png")
        throw std::invalid_argument(file.string() + ": the report is written as .pdf or .png");
    const std::vector<TPageDraw> pages = LayOut(run);
    WritePages(file, ReportPageWidth, ReportPageHeight,
               QStringLiteral("Protokol o prubehu regulace: %1").arg(Utf8(run.LogName)), pages);
    return static_cast<int>(pages.size());
}

} // namespace chart
