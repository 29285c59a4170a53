// Settings file of the main window: read once at start, each section written when applied.
// The file work itself is persistence/Settings.h; here only widgets meet values. A refused write
// throws EProfileWrite out of the writer, which ends the calling handler at that key and reaches
// the general error report (FormClose guards its write, so the window closes all the same).
#include "app/form1.h"

#include "app/Controls.h"

#include "persistence/Settings.h"
#include "regulation/Controller.h"
#include "serial/ComPort.h"

void TForm1::LoadSettings() {
    const persistence::StoredSettings s = persistence::ReadSettings();

    // The ports are closed now; the names and the rate take effect when they are opened.
    Com1Port->SetPort(s.Com1);
    Com1Port->SetBaudRate(StrToBaudRate(s.BaudRate1));
    Com2Port->SetPort(s.Com2);
    Com2Port->SetBaudRate(StrToBaudRate(s.BaudRate2));

    SetText(Edit1, s.Zadana1);
    SetText(Edit12, s.Zadana2);
    SetText(Edit15, s.DelkaCyklu);

    SetText(Edit2, s.r0);
    SetText(Edit3, s.Ti);
    SetText(Edit4, s.Td);
    SetText(Edit8, s.Tvz);
    SetText(Edit16, s.T1);
    SetText(Edit17, s.T2);
    // A side's own set is used only whole and usable; one that is not is reported and left out.
    for (int side = 1; side <= state::SideCount; ++side) {
        const persistence::StoredSideParameters& own = s.SideParameters[side];
        S.OwnParameters[side] = regulation::SideParametersFromText(own.r0, own.Ti, own.Td);
        if (!S.OwnParameters[side] && !(own.r0.empty() && own.Ti.empty() && own.Td.empty()))
            Report(QStringLiteral("Regulator.ini: r0_%1, Ti_%1, Td_%1 nejsou platne parametry, strana %1 pouziva "
                                  "spolecne r0, Ti, Td.")
                       .arg(side));
    }
    ShowSideParameters();

    CheckBox2->setChecked(s.UkazKom);
    CheckBox3->setChecked(s.NaPrubeh);

    // As stored, unsorted: the first render sorts them. The whole table is taken over, so the
    // point that ended a program keeps the -1 it was read as, as the loading loop leaves it.
    for (int side = 1; side <= state::SideCount; ++side) {
        const persistence::StoredProgram& p = s.Programs[side];
        for (int n = 1; n <= state::MaxProgramPoints; ++n) {
            S.ProgramTime[side][n] = p.Time[n];
            S.ProgramTemp[side][n] = p.Temp[n];
        }
        S.ProgramCount[side] = p.Count;
    }
}

void TForm1::SavePrograms() { persistence::WritePrograms(S); }

void TForm1::SaveWindowSettings() {
    persistence::WriteWindowSettings(Text(Edit1), Text(Edit12), Text(Edit15), CheckBox1->isChecked(),
                                     CheckBox2->isChecked(), CheckBox3->isChecked());
}

void TForm1::SaveRegulatorSettings() {
    persistence::WriteRegulatorSettings(Text(Edit2), Text(Edit3), Text(Edit4), Text(Edit8), Text(Edit16),
                                        Text(Edit17));
}

void TForm1::SaveSerialSettings() {
    persistence::WriteSerialSettings(Com1Port->Port(), Com2Port->Port(), BaudRateToStr(Com1Port->BaudRate()));
}
