; The per-user Windows installer: no administrator rights, everything under
; the user's own folders and HKEY_CURRENT_USER. Built by CMake with
;   makensis -DVERSION=... -DDESKTOP_EXE=... -DCLI_EXE=... -DLANGUAGE_FILE=...
;            -DICON_FILE=... -DOUT_FILE=... pellandor.nsi
; Silent: setup.exe /S [/D=FOLDER]; uninstall.exe /S [/REMOVESETTINGS].

; The programs are 64-bit; so is the installer (it also runs where no 32-bit Windows layer is).
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Ulvex Pellandor"
!define WINDOW_CLASS "Ulvex Pellandor"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\UlvexPellandor"
!define CAPABILITIES_KEY "Software\Ulvex\Pellandor\Capabilities"
!define PROG_ID "UlvexPellandor.Link"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "CompanyName" "Ulvex"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Ulvex"

!define MUI_ICON "${ICON_FILE}"
!define MUI_UNICON "${ICON_FILE}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\pellandor-desktop.exe"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks a running program to end (it saves as it goes) and waits for it, so
; its files can be replaced or removed.
!macro CloseRunningProgram un
Function ${un}CloseRunningProgram
  FindWindow $0 "${WINDOW_CLASS}"
  ${If} $0 == 0
    Return
  ${EndIf}
  SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
  StrCpy $1 0
  ${Do}
    Sleep 100
    IntOp $1 $1 + 1
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 == 0
    ${OrIf} $1 >= 100
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd
!macroend
!insertmacro CloseRunningProgram ""
!insertmacro CloseRunningProgram "un."

; tel: and callto: for this user; the running program sorts out the link.
; "--" before the link: a link can never be read as an option.
!macro RegisterScheme scheme
  WriteRegStr HKCU "Software\Classes\${scheme}" "" "URL:${scheme}"
  WriteRegStr HKCU "Software\Classes\${scheme}" "URL Protocol" ""
  WriteRegStr HKCU "Software\Classes\${scheme}\DefaultIcon" "" "$INSTDIR\pellandor-desktop.exe,0"
  WriteRegStr HKCU "Software\Classes\${scheme}\shell\open\command" "" '"$INSTDIR\pellandor-desktop.exe" -- "%1"'
  WriteRegStr HKCU "${CAPABILITIES_KEY}\URLAssociations" "${scheme}" "${PROG_ID}"
!macroend

; Only the handler we wrote: another program's is left alone.
!macro UnregisterScheme scheme
  ReadRegStr $0 HKCU "Software\Classes\${scheme}\shell\open\command" ""
  ${If} $0 == '"$INSTDIR\pellandor-desktop.exe" -- "%1"'
    DeleteRegKey HKCU "Software\Classes\${scheme}"
  ${EndIf}
!macroend

Section "Ulvex Pellandor" SecProgram
  SectionIn RO
  Call CloseRunningProgram
  SetOutPath "$INSTDIR"
  File "/oname=pellandor-desktop.exe" "${DESKTOP_EXE}"
  File "/oname=pellandor.exe" "${CLI_EXE}"
  File "/oname=language.ini" "${LANGUAGE_FILE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext current
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\pellandor-desktop.exe" "" "$INSTDIR\pellandor-desktop.exe" 0

  WriteRegStr HKCU "Software\Classes\${PROG_ID}" "" "${PRODUCT} link"
  WriteRegStr HKCU "Software\Classes\${PROG_ID}" "URL Protocol" ""
  WriteRegStr HKCU "Software\Classes\${PROG_ID}\DefaultIcon" "" "$INSTDIR\pellandor-desktop.exe,0"
  WriteRegStr HKCU "Software\Classes\${PROG_ID}\shell\open\command" "" '"$INSTDIR\pellandor-desktop.exe" -- "%1"'
  WriteRegStr HKCU "${CAPABILITIES_KEY}" "ApplicationName" "${PRODUCT}"
  WriteRegStr HKCU "${CAPABILITIES_KEY}" "ApplicationDescription" "Click to call on your desk telephone"
  !insertmacro RegisterScheme "tel"
  !insertmacro RegisterScheme "callto"
  ; Offered in Windows' default-apps list for tel: and callto:.
  WriteRegStr HKCU "Software\RegisteredApplications" "${PRODUCT}" "${CAPABILITIES_KEY}"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Ulvex"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\pellandor-desktop.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "un.Ulvex Pellandor" UnSecProgram
  SectionIn RO
  Call un.CloseRunningProgram
  Delete "$INSTDIR\pellandor-desktop.exe"
  Delete "$INSTDIR\pellandor.exe"
  Delete "$INSTDIR\language.ini"
  Delete "$INSTDIR\${PRODUCT}_Err_*.DMP"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext current
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"

  !insertmacro UnregisterScheme "tel"
  !insertmacro UnregisterScheme "callto"
  DeleteRegKey HKCU "Software\Classes\${PROG_ID}"
  DeleteRegValue HKCU "Software\RegisteredApplications" "${PRODUCT}"
  DeleteRegKey HKCU "Software\Ulvex\Pellandor"
  DeleteRegKey /ifempty HKCU "Software\Ulvex"
  ; Written by the program's "start at login" option.
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Off unless ticked or /REMOVESETTINGS is given: the settings outlive a
; reinstall.
Section /o "un.Remove my settings and recent numbers" UnSecSettings
  Delete "$LOCALAPPDATA\pellandor_settings.ini"
  Delete "$LOCALAPPDATA\.pellandor_settings.ini.lock"
  Delete "$LOCALAPPDATA\pellandor\${PRODUCT}_Err_*.DMP"
  RMDir "$LOCALAPPDATA\pellandor"
SectionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${UnSecSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
