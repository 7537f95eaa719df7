; The Windows installer of Velvetfin (NSIS 3). scripts/package defines:
;   VF_VERSION  the version from project(VERSION), e.g. 1.1.4.15
;   VF_STAGE    the folder holding the stripped programs, Grayheron.DEU, snd\ and the texts
;   VF_ICON     the program's icon
;   VF_OUTFILE  the installer to write
; Silent use: setup.exe /S [/AUTOSTART] [/D=C:\Path] and Uninstall.exe /S [/REMOVESETTINGS].
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

!define VF_NAME "Velvetfin"
!define VF_PUBLISHER "Velvetfin project"
!define VF_UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velvetfin"
; The settings of every instance: the registry keys Software\Tarnwick\Grayheron[N].
!define VF_SETTINGS_KEY "Software\Tarnwick"
!define VF_RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${VF_NAME} ${VF_VERSION}"
OutFile "${VF_OUTFILE}"
InstallDir "$PROGRAMFILES32\${VF_NAME}"
InstallDirRegKey HKLM "${VF_UNINSTALL_KEY}" "InstallLocation"
BrandingText "${VF_NAME} ${VF_VERSION}"

VIProductVersion "${VF_VERSION}"
VIAddVersionKey "ProductName" "${VF_NAME}"
VIAddVersionKey "ProductVersion" "${VF_VERSION}"
VIAddVersionKey "FileVersion" "${VF_VERSION}"
VIAddVersionKey "FileDescription" "${VF_NAME} installer"
VIAddVersionKey "CompanyName" "${VF_PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${VF_PUBLISHER}"

!define MUI_ICON "${VF_ICON}"
!define MUI_UNICON "${VF_ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\velvetfin.exe"
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\README.txt"
; The program needs a virtual adapter, which this installer cannot provide.
!define MUI_FINISHPAGE_TEXT "${VF_NAME} ${VF_VERSION} is installed.$\r$\n$\r$\nIt writes the received data to a virtual network adapter. If none is installed yet, read the section $\"A virtual adapter on Windows$\" of the README: it tells where the TAP-Windows6 driver comes from, how to add an adapter, and how to choose it on the Setup page."
!define MUI_FINISHPAGE_TEXT_LARGE

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Velvetfin (required)" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${VF_STAGE}\velvetfin.exe"
  File "${VF_STAGE}\velvetfin-remote.exe"
  File "${VF_STAGE}\velvetfin-probe.exe"
  File "${VF_STAGE}\velvetfin-ts.exe"
  File "${VF_STAGE}\Grayheron.DEU"
  File "${VF_STAGE}\README.txt"
  ; The licence text, once the project has one (scripts/package stages LICENSE).
  File /nonfatal "${VF_STAGE}\LICENSE.txt"
  SetOutPath "$INSTDIR\snd"
  File /r "${VF_STAGE}\snd\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${VF_UNINSTALL_KEY}" "DisplayName" "${VF_NAME}"
  WriteRegStr HKLM "${VF_UNINSTALL_KEY}" "DisplayVersion" "${VF_VERSION}"
  WriteRegStr HKLM "${VF_UNINSTALL_KEY}" "Publisher" "${VF_PUBLISHER}"
  WriteRegStr HKLM "${VF_UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velvetfin.exe,0"
  WriteRegStr HKLM "${VF_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${VF_UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${VF_UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${VF_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${VF_UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${VF_UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Start menu shortcuts" SecShortcuts
  CreateDirectory "$SMPROGRAMS\${VF_NAME}"
  CreateShortcut "$SMPROGRAMS\${VF_NAME}\${VF_NAME}.lnk" "$INSTDIR\velvetfin.exe"
  CreateShortcut "$SMPROGRAMS\${VF_NAME}\README.lnk" "$INSTDIR\README.txt"
  CreateShortcut "$SMPROGRAMS\${VF_NAME}\Uninstall ${VF_NAME}.lnk" "$INSTDIR\Uninstall.exe"
SectionEnd

; The same value the Setup page's "Start with Windows" writes for instance 0, its path quoted.
Section /o "Start with Windows" SecAutostart
  WriteRegStr HKCU "${VF_RUN_KEY}" "Grayheron" '"$INSTDIR\velvetfin.exe"'
SectionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The receiver, its remote control and tools, sounds and the German interface."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecShortcuts} "Shortcuts in the Start menu."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Start Velvetfin when you log on (as the Setup page's $\"Start with Windows$\")."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Section "un.Velvetfin" UnSecProgram
  SectionIn RO
  Delete "$INSTDIR\velvetfin.exe"
  Delete "$INSTDIR\velvetfin-remote.exe"
  Delete "$INSTDIR\velvetfin-probe.exe"
  Delete "$INSTDIR\velvetfin-ts.exe"
  Delete "$INSTDIR\Grayheron.DEU"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\snd"
  Delete "$SMPROGRAMS\${VF_NAME}\${VF_NAME}.lnk"
  Delete "$SMPROGRAMS\${VF_NAME}\README.lnk"
  Delete "$SMPROGRAMS\${VF_NAME}\Uninstall ${VF_NAME}.lnk"
  RMDir "$SMPROGRAMS\${VF_NAME}"
  ; The autostart value would start a program that is gone.
  ReadRegStr $0 HKCU "${VF_RUN_KEY}" "Grayheron"
  StrCpy $1 '"$INSTDIR\velvetfin.exe"'
  StrLen $2 $1
  StrCpy $3 $0 $2
  ${If} $3 == $1
    DeleteRegValue HKCU "${VF_RUN_KEY}" "Grayheron"
  ${EndIf}
  DeleteRegKey HKLM "${VF_UNINSTALL_KEY}"
  Delete "$INSTDIR\Uninstall.exe"
  ; The folder goes only when empty: the user's own files (a portable Grayheron.ini,
  ; logs, statistics) stay unless the settings are removed too.
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Remove settings" UnSecSettings
  DeleteRegKey HKCU "${VF_SETTINGS_KEY}\Grayheron"
  ; Further instances (Grayheron1, Grayheron2, ...).
  StrCpy $0 0
  ${Do}
    EnumRegKey $1 HKCU "${VF_SETTINGS_KEY}" $0
    ${If} $1 == ""
      ${Break}
    ${EndIf}
    StrCpy $2 $1 9
    ${If} $2 == "Grayheron"
      DeleteRegKey HKCU "${VF_SETTINGS_KEY}\$1"
    ${Else}
      IntOp $0 $0 + 1
    ${EndIf}
  ${Loop}
  DeleteRegKey /ifempty HKCU "${VF_SETTINGS_KEY}"
  Delete "$INSTDIR\Grayheron*.ini"
  Delete "$INSTDIR\Grayheron*.log"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecSettings}
  ${EndIf}
FunctionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecProgram} "The programs, sounds, shortcuts and the autostart value."
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecSettings} "Also your settings, profiles and logs (kept otherwise)."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END
