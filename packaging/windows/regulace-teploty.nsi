; The Windows installer of "Regulace teploty" (built by scripts/package-windows with makensis).
; Defines given on the command line: VERSION, STAGE (the installed program laid out by
; `cmake --install`), OUTFILE.
;
; The program goes to Program Files, which operators may read but not change. Its settings
; (Regulator.ini), the state of a running cycle (Regulator.run) and the data logs (Data\) go to
; one folder under ProgramData that the Users group may change, so that every operator of the
; PC reads and saves the same settings and writes the same logs; the installer names that
; folder to the program in the registry (HKLM\Software\Regulace teploty, DataFolder).
; Uninstalling removes the program, its Start-menu entry and the registry keys, and keeps the
; settings and logs.
; A 64-bit installer: the program is 64-bit, and a 64-bit Wine runs it without a 32-bit part.
Target amd64-unicode
SetCompressor /SOLID lzma

!define PRODUCT "Regulace teploty"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Program"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}/*.*"

  ; The shared folder: every member of Users (S-1-5-32-545) may change what is in it.
  CreateDirectory "$APPDATA\${PRODUCT}\Data"
  nsExec::ExecToLog 'icacls "$APPDATA\${PRODUCT}" /grant *S-1-5-32-545:(OI)(CI)M'
  WriteRegStr HKLM "Software\${PRODUCT}" "DataFolder" "$APPDATA\${PRODUCT}"

  CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\regulator.exe" "" "$INSTDIR\regulator.ico" 0

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\regulator.ico"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; Only what the installer put there: a folder chosen by hand may hold other files.
  Delete "$INSTDIR\regulator.exe"
  Delete "$INSTDIR\regulator-report.exe"
  Delete "$INSTDIR\regulator.ico"
  Delete "$INSTDIR\*.dll"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\imageformats"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\${PRODUCT}"
SectionEnd
