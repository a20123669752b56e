; The Rolvanta installer: puts rolvanta.scr into the system folder, makes it the current
; screen saver, lists itself among the installed programs and removes itself again.
;
; makensis -DVERSION=2.2 -DSCR=<rolvanta.scr> -DICON=<rolvanta.ico> -DSIDEBAR=<164x314.bmp>
;          -DOUTFILE=<setup.exe>
;
; SIDEBAR is the welcome and finish pages' picture, drawn from the motorcycles' own drawings by
; tools/assets/make_sidebar.py.
;
; An ANSI installer, so that it runs from Windows 95 to 11. A 32-bit installer's system
; folder is SysWOW64 on 64-bit Windows, where a 32-bit saver belongs; the paths written for
; the rest of the system (the current saver, the list entry's icon) name that folder as the
; system sees it, not as this 32-bit process is redirected to it.

Unicode false
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all
ManifestDPIAware true

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinVer.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

!define PRODUCT "Rolvanta"
!define PUBLISHER "The Rolvanta developers"
; The project has no published address yet; this one constant is the list entry's web address.
!define WEBSITE "https://rolvanta.example.org/"
!define SAVER "rolvanta.scr"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Rolvanta"
!define DESKTOP_KEY "Control Panel\Desktop"
; Per user, as the current saver is: what ours replaced, to be put back on removal.
!define STATE_KEY "Software\Rolvanta"
!define SPI_SETSCREENSAVEACTIVE 17
!define SPIF_UPDATEINIFILE_SENDCHANGE 3

Name "${PRODUCT} screen saver"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIFileVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} screen saver setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) ${PUBLISHER}"

; Declared before the pages, whose texts name them.
Var WelcomeText
Var RemovalText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${SIDEBAR}"
!define MUI_ABORTWARNING
; Set in .onInit: a first installation, an upgrade or a reinstallation.
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText$\r$\n$\r$\nYou can choose another one at any time in the screen saver settings, and remove ${PRODUCT} from the list of installed programs."
; Set in un.onInit: what goes and what comes back.
!define MUI_UNCONFIRMPAGE_TEXT_TOP "$RemovalText"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is now your screen saver. It starts when the computer has been idle for the time set in the screen saver settings."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Open the ${PRODUCT} settings"
!define MUI_FINISHPAGE_RUN_FUNCTION OpenSettings
!define MUI_FINISHPAGE_NOREBOOTSUPPORT

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var SaverPath   ; the installed saver, as the rest of the system names it

!macro FindSaverPath
    ${If} ${RunningX64}
        StrCpy $SaverPath "$WINDIR\SysWOW64\${SAVER}"
    ${Else}
        StrCpy $SaverPath "$SYSDIR\${SAVER}"
    ${EndIf}
!macroend

; The current saver's path ("" when none): system.ini on Windows 9x, the user's desktop
; settings on the NT line.
!macro ReadCurrentSaver result
    ${If} ${IsNT}
        ReadRegStr ${result} HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${Else}
        ReadINIStr ${result} "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
    ${EndIf}
!macroend

!macro WriteCurrentSaver path
    ${If} ${IsNT}
        ${If} "${path}" == ""
            DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
        ${Else}
            WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "${path}"
        ${EndIf}
    ${Else}
        ${If} "${path}" == ""
            DeleteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE"
        ${Else}
            WriteINIStr "$WINDIR\system.ini" "boot" "SCRNSAVE.EXE" "${path}"
        ${EndIf}
        FlushINI "$WINDIR\system.ini"
    ${EndIf}
!macroend

; Whether a saver path names ours, in whichever folder and case it was written.
!macro IsOurs path result
    ${GetFileName} "${path}" ${result}
    ${If} ${result} == "${SAVER}"   ; StrCmp ignores case
        StrCpy ${result} 1
    ${Else}
        StrCpy ${result} 0
    ${EndIf}
!macroend

!macro SetScreenSaving active
    ${If} ${IsNT}
        WriteRegStr HKCU "${DESKTOP_KEY}" "ScreenSaveActive" "${active}"
    ${EndIf}
    ; Tells the running system too, on both lines.
    System::Call "user32::SystemParametersInfoA(i ${SPI_SETSCREENSAVEACTIVE}, i ${active}, i 0, i ${SPIF_UPDATEINIFILE_SENDCHANGE})"
!macroend

Function .onInit
    SetRegView 32
    !insertmacro FindSaverPath
    ; An entry in the list of installed programs means an earlier version is here.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    ${If} $0 == ""
        StrCpy $WelcomeText "This installs the ${PRODUCT} screen saver ${VERSION} and makes it your current screen saver."
    ${Else}
        ${VersionCompare} "${VERSION}" $0 $1
        ${If} $1 == 1
            StrCpy $WelcomeText "This upgrades the ${PRODUCT} screen saver from version $0 to ${VERSION}, in place, and makes it your current screen saver. Your settings are kept."
        ${ElseIf} $1 == 0
            StrCpy $WelcomeText "The ${PRODUCT} screen saver ${VERSION} is already installed. This installs it again and makes it your current screen saver. Your settings are kept."
        ${Else}
            StrCpy $WelcomeText "A newer ${PRODUCT} screen saver, version $0, is installed. This replaces it with the older version ${VERSION} and makes that your current screen saver. Your settings are kept."
        ${EndIf}
    ${EndIf}
FunctionEnd

Function OpenSettings
    Exec '"$SaverPath" /c'
FunctionEnd

Section "Install"
    SetOutPath "$SYSDIR"
    SetOverwrite on
    File "/oname=${SAVER}" "${SCR}"

    ; What the user had before, unless it is already ours (an upgrade keeps the first answer).
    !insertmacro ReadCurrentSaver $0
    !insertmacro IsOurs $0 $1
    ${If} $1 == 0
        WriteRegStr HKCU "${STATE_KEY}" "ReplacedSaver" $0
        ReadRegStr $2 HKCU "${DESKTOP_KEY}" "ScreenSaveActive"
        WriteRegStr HKCU "${STATE_KEY}" "ReplacedActive" $2
    ${EndIf}
    !insertmacro WriteCurrentSaver $SaverPath
    !insertmacro SetScreenSaving 1

    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} screen saver"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "URLUpdateInfo" "${WEBSITE}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "${WEBSITE}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SaverPath,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$SYSDIR" "/M=${SAVER} /S=0K /G=0" $0 $1 $2
    ${GetSize} "$INSTDIR" "/S=0K /G=0" $1 $2 $3
    IntOp $0 $0 + $1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
    SetRegView 32
    !insertmacro FindSaverPath
    ; The same decision the removal makes below, told before it is made, in the three lines
    ; the page has for it.
    StrCpy $RemovalText "Removing ${PRODUCT} deletes $SaverPath and this uninstaller (your settings in control.ini stay)"
    !insertmacro ReadCurrentSaver $0
    !insertmacro IsOurs $0 $1
    ReadRegStr $2 HKCU "${STATE_KEY}" "ReplacedSaver"
    ${If} $1 == 0
        ${If} $0 == ""
            StrCpy $RemovalText "$RemovalText. ${PRODUCT} is not your screen saver; screen saving stays as it is."
        ${Else}
            StrCpy $RemovalText "$RemovalText. ${PRODUCT} is not your screen saver; $0 stays your screen saver."
        ${EndIf}
    ${ElseIf} $2 == ""
        StrCpy $RemovalText "$RemovalText, and switches screen saving off, as it was before ${PRODUCT}."
    ${Else}
        StrCpy $RemovalText "$RemovalText, and puts back $2, the screen saver you had before ${PRODUCT}."
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ; Put back what ours replaced, but only while ours is still the current saver. The
    ; settings in control.ini stay: they are the user's.
    !insertmacro ReadCurrentSaver $0
    !insertmacro IsOurs $0 $1
    ${If} $1 == 1
        ReadRegStr $2 HKCU "${STATE_KEY}" "ReplacedSaver"
        !insertmacro WriteCurrentSaver $2
        ReadRegStr $3 HKCU "${STATE_KEY}" "ReplacedActive"
        ${If} $2 == ""
        ${OrIf} $3 == "0"
            !insertmacro SetScreenSaving 0
        ${EndIf}
    ${EndIf}
    DeleteRegKey HKCU "${STATE_KEY}"

    ; A saver that is running right now goes at the next restart.
    Delete /REBOOTOK "$SYSDIR\${SAVER}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
