// The chart's menu: a reference run from an earlier data log drawn behind the live curves, and
// the chart and the current data log saved as files.
//
// The CSV's form is chosen by the file type in the save dialog; the last choice is kept in
// Regulator.ini, section "Export", key "CsvCesky" (1: semicolons and decimal commas, for Czech
// spreadsheets, the default; 0: commas and decimal points).
#include "app/form1.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "persistence/DataLog.h"
#include "persistence/Settings.h"
#include "platform/Clock.h"
#include "report/CsvExport.h"
#include "report/DataLogReader.h"
#include "report/RunRecord.h"
#include "report/RunSummary.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include <stdexcept>

namespace {

QString DataFolder() {
    return QString::fromStdString(persistence::DataLogDir().string());
}

const QString CsvCzechFilter = QStringLiteral("CSV cesky - strednik, desetinna carka (*.csv)");
const QString CsvPointFilter = QStringLiteral("CSV - carka, desetinna tecka (*.csv)");
constexpr std::string_view ExportSection = "Export";
constexpr std::string_view CsvCzechKey = "CsvCesky";

// Asks for a file through the window's picker, or a file dialog that opens without a loop of
// its own and answers through its signal.
void Pick(TForm1& form, const TFilePick& pick, TFilePicked done) {
    auto answer = [&form, done = std::move(done)](const QString& file, const QString& filter) {
        form.Guard([&] { done(file, filter); });
    };
    if (form.Services.PickFile) {
        form.Services.PickFile(pick, answer);
        return;
    }
    auto* dialog = new QFileDialog(&form, pick.Caption, pick.Folder, pick.Filter);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(pick.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(pick.Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!pick.Selected.isEmpty()) dialog->selectNameFilter(pick.Selected);
    if (!pick.Name.isEmpty()) dialog->selectFile(pick.Name);
    QObject::connect(dialog, &QFileDialog::fileSelected, &form,
                     [dialog, answer](const QString& file) { answer(file, dialog->selectedNameFilter()); });
    dialog->open();
}

// The title of an exported chart: the log's name and the date of its run (today without a log).
QString ChartTitle(const persistence::DataLog* log) {
    if (log == nullptr) {
        const platform::LocalDateTime now = platform::LocalNow();
        const auto today = report::LocalSecondsOf(now.Year, now.Month, now.Day, now.Hour, now.Minute, 0);
        return QStringLiteral("Prubeh regulace, %1")
            .arg(QString::fromStdString(report::DateText(today.value_or(0))));
    }
    const std::string name = log->Path().filename().string();
    QString title = QStringLiteral("Prubeh regulace: %1").arg(QString::fromStdString(name));
    if (const auto opened = report::ParseLogName(name)) {
        title +=
            QStringLiteral(", %1 %2").arg(QString::fromStdString(report::DateText(opened->Opened)),
                                          QString::fromStdString(report::ClockMinutesText(opened->Opened)));
    }
    return title;
}

} // namespace

void TForm1::CreateChartMenu() {
    QMenu* menu = Chart->Menu();
    auto add = [&](const char* name, const QString& text, std::function<void()> handler) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, [this, handler] { Guard(handler); });
        return action;
    };
    add("ActionReference", QStringLiteral("Nacist referenci..."), [this] {
        Pick(*this,
             {QStringLiteral("Reference"),
              DataFolder(),
              {},
              QStringLiteral("Datove soubory (data_*.txt);;Vsechny soubory (*)"),
              false},
             [this](const QString& file, const QString&) { LoadReference(file); });
    });
    QAction* remove =
        add("ActionReferenceRemove", QStringLiteral("Odebrat referenci"), [this] { RemoveReference(); });
    menu->addSeparator();
    add("ActionSavePng", QStringLiteral("Ulozit graf jako PNG..."), [this] {
        Pick(*this,
             {QStringLiteral("Ulozit graf"), DataFolder(), QStringLiteral("graf.png"),
              QStringLiteral("Obrazek PNG (*.png)"), true},
             [this](const QString& file, const QString&) { ExportChart(file); });
    });
    add("ActionSavePdf", QStringLiteral("Ulozit graf jako PDF..."), [this] {
        Pick(*this,
             {QStringLiteral("Ulozit graf"), DataFolder(), QStringLiteral("graf.pdf"),
              QStringLiteral("Dokument PDF (*.pdf)"), true},
             [this](const QString& file, const QString&) { ExportChart(file); });
    });
    QAction* csv = add("ActionSaveCsv", QStringLiteral("Ulozit data jako CSV..."), [this] {
        const persistence::DataLog* log = persistence::OpenLog(S);
        const QString name =
            log ? QFileInfo(QString::fromStdString(log->Path().string())).completeBaseName() +
                      QStringLiteral(".csv")
                : QStringLiteral("data.csv");
        const bool czech = persistence::SettingsFile().ReadBool(ExportSection, CsvCzechKey, true);
        Pick(*this,
             {QStringLiteral("Ulozit data"), DataFolder(), name,
              CsvCzechFilter + QStringLiteral(";;") + CsvPointFilter, true,
              czech ? CsvCzechFilter : CsvPointFilter},
             [this](const QString& file, const QString& filter) {
                 ExportCsv(file, filter != CsvPointFilter);
             });
    });
    connect(menu, &QMenu::aboutToShow, this, [this, remove, csv] {
        remove->setEnabled(HasReference() || ReferenceLoading());
        csv->setEnabled(persistence::OpenLog(S) != nullptr);
    });
}

bool TForm1::HasReference() const {
    return Chart != nullptr && Chart->SeriesCount() > chart::SeriesReference1;
}

void TForm1::LoadReference(const QString& file) {
    if (closed_) return;
    if (!referenceRead_) captionBeforeRead_ = Chart->Caption();
    referenceRead_.reset(); // a read still going is no longer wanted
    // The end of the read is handed to this thread at once; the watch shows progress meanwhile.
    referenceRead_ = std::make_unique<report::TBackgroundRead>(file.toStdString(), [this] {
        QMetaObject::invokeMethod(this, [this] { Guard([&] { ReferenceReadWatch(); }); }, Qt::QueuedConnection);
    });
    if (referenceWatch_ == nullptr) {
        referenceWatch_ = new QTimer(this);
        referenceWatch_->setInterval(50);
        connect(referenceWatch_, &QTimer::timeout, this, [this] { Guard([&] { ReferenceReadWatch(); }); });
    }
    referenceWatch_->start();
    Chart->SetCaption(QStringLiteral("Nacitani reference: %1").arg(QFileInfo(file).fileName()));
    Chart->Refresh();
}

void TForm1::ReferenceReadWatch() {
    if (!referenceRead_ || closed_) {
        referenceWatch_->stop();
        referenceRead_.reset();
        return;
    }
    const QString name = QString::fromStdString(referenceRead_->File().filename().string());
    if (!referenceRead_->Done()) {
        Chart->SetCaption(QStringLiteral("Nacitani reference: %1 %2 %").arg(name).arg(referenceRead_->Percent()));
        Chart->Refresh();
        return;
    }
    referenceWatch_->stop();
    const std::unique_ptr<report::TBackgroundRead> read = std::move(referenceRead_);
    report::LogTable log;
    try {
        log = read->Take();
    } catch (const report::ELogRead& e) {
        Chart->SetCaption(captionBeforeRead_);
        Chart->Refresh();
        throw std::runtime_error(std::string("Referenci nelze nacist: ") + e.what());
    }
    ShowReference(log, name);
}

void TForm1::ShowReference(const report::LogTable& log, const QString& name) {
    RemoveReference();
    chart::AddReferenceSeries(*Chart, name);
    // Aligned on cycle time 0 as the live curves are; a later cycle in the file follows the first.
    // Point by point, so that a week of lines needs no copies beside the table.
    report::ForEachRunTime(log, [&](std::size_t i, double x) {
        Chart->Append(chart::SeriesReference1, x, report::FromTenths(log.Side1.Temperature[i]));
        Chart->Append(chart::SeriesReference2, x, report::FromTenths(log.Side2.Temperature[i]));
    });
    Chart->Refresh();
}

void TForm1::RemoveReference() {
    if (referenceRead_) {
        referenceRead_.reset();
        Chart->SetCaption(captionBeforeRead_);
        Chart->Refresh();
    }
    if (!HasReference()) return;
    Chart->RemoveSeries(chart::SeriesReference2);
    Chart->RemoveSeries(chart::SeriesReference1);
    Chart->SetCaption({});
    Chart->Refresh();
}

void TForm1::ExportChart(const QString& file) {
    const QString ending = QFileInfo(file).suffix().toLower();
    if (ending != QStringLiteral("pdf") && ending != QStringLiteral("png"))
        throw std::runtime_error(file.toStdString() + ": graf se uklada jako .png nebo .pdf");
    Chart->SavePrint(file.toStdU16String(), ChartTitle(persistence::OpenLog(S)));
}

void TForm1::ExportCsv(const QString& file, bool czech) {
    const persistence::DataLog* log = persistence::OpenLog(S);
    if (log == nullptr) throw std::runtime_error("Zadny datovy soubor neni otevren");
    report::WriteCsv(report::ReadLog(log->Path()), file.toStdU16String(),
                     czech ? report::CsvForm::Czech : report::CsvForm::Point);
    // The choice is kept for the next time; a file that holds it already is not written.
    const platform::ProfileFile settings = persistence::SettingsFile();
    if (settings.ReadBool(ExportSection, CsvCzechKey, true) != czech)
        settings.WriteBool(ExportSection, CsvCzechKey, czech);
}
