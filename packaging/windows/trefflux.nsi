; The setup program of Trefflux for Windows (64-bit). scripts/package-windows builds it with
; makensis and hands in VERSION, EXE (trefflux.exe), ICON and OUTFILE.
;
; Installs into "Program Files\Trefflux" for every user of the computer. The start-menu entry and
; the optional autostart entry (a shortcut in the Startup folder, so that the program gets its
; arguments) start the program with --start-dir "%LOCALAPPDATA%\Trefflux": each user's profiles
; (TFXConf.cnf) and protocol file live in that user's own folder, which the program makes when it
; is missing. The uninstaller leaves those folders alone.

Unicode true
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

Name "Trefflux ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Trefflux"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "Trefflux ${VERSION}"

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Trefflux"
; The literal text, expanded by the program for the user who starts it.
!define START_DIR '--start-dir "%LOCALAPPDATA%\Trefflux"'

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1031 "ProductName" "Trefflux"
VIAddVersionKey /LANG=1031 "FileDescription" "Trefflux Ringlesemaschine - Setup"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "Trefflux"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; The description below the list, so that the list has the page's width and shows both entries
; whole (beside the description it cut them: "Trefflux (Programm und St...").
!define MUI_COMPONENTSPAGE_SMALLDESC
!define MUI_WELCOMEPAGE_TEXT "Trefflux holt jede Serie von der Ringlesemaschine ab und schreibt sie in eine Protokolldatei und in die Zwischenablage.$\r$\n$\r$\nDas Programm wird für alle Benutzer dieses Computers installiert. Die Einstellungen und die Protokolldatei liegen für jeden Benutzer in seinem eigenen Ordner %LOCALAPPDATA%\Trefflux.$\r$\n$\r$\nKlicken Sie auf Weiter, um fortzufahren."
; No "start now" on the last page: the setup runs as administrator, and the program would then
; run with the administrator's folder. The user starts it from the start menu.
!define MUI_FINISHPAGE_TEXT "Trefflux ist installiert. Sie starten es mit dem Eintrag $\"Trefflux$\" im Startmenü; danach wartet es als Zielscheibe im Infobereich der Taskleiste.$\r$\n$\r$\nKlicken Sie auf Fertig stellen, um den Assistenten zu schließen."

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "Trefflux braucht ein 64-Bit-Windows."
    Abort
  ${EndIf}
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Trefflux (Programm und Startmenü)" SecProgramm
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=trefflux.exe" "${EXE}"
  File "/oname=trefflux.ico" "${ICON}"
  WriteUninstaller "$INSTDIR\Deinstallieren.exe"
  CreateDirectory "$SMPROGRAMS\Trefflux"
  CreateShortcut "$SMPROGRAMS\Trefflux\Trefflux.lnk" "$INSTDIR\trefflux.exe" '${START_DIR}' \
    "$INSTDIR\trefflux.exe" 0 SW_SHOWNORMAL "" "Ringlesemaschine: Serien in Protokolldatei und Zwischenablage"
  CreateShortcut "$SMPROGRAMS\Trefflux\Trefflux deinstallieren.lnk" "$INSTDIR\Deinstallieren.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Trefflux"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Trefflux"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\trefflux.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Deinstallieren.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Deinstallieren.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Beim Anmelden automatisch starten" SecAutostart
  CreateShortcut "$SMSTARTUP\Trefflux.lnk" "$INSTDIR\trefflux.exe" '${START_DIR}' \
    "$INSTDIR\trefflux.exe" 0 SW_SHOWNORMAL "" "Ringlesemaschine: Serien in Protokolldatei und Zwischenablage"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgramm} "Das Programm und sein Eintrag im Startmenü."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Trefflux startet bei jeder Anmeldung eines Benutzers und wartet im Infobereich der Taskleiste auf die Ringlesemaschine."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; The users' folders (%LOCALAPPDATA%\Trefflux with TFXConf.cnf and the protocol files) stay.
Section "Uninstall"
  Delete "$SMSTARTUP\Trefflux.lnk"
  Delete "$SMPROGRAMS\Trefflux\Trefflux.lnk"
  Delete "$SMPROGRAMS\Trefflux\Trefflux deinstallieren.lnk"
  RMDir "$SMPROGRAMS\Trefflux"
  Delete "$INSTDIR\trefflux.exe"
  Delete "$INSTDIR\trefflux.ico"
  Delete "$INSTDIR\Deinstallieren.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
