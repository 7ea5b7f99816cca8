; The Windows installer: quorvel.exe, qvl.exe and the empty template fresh.dat into
; Program Files, a Start menu entry, and an uninstaller registered with the system.
; Each user's index lives in their own %LOCALAPPDATA%\Quorvel and stays on uninstall.
;   makensis -DVERSION=1.0.1a -DFILES=<folder of the three files> -DOUTFILE=<setup.exe> quorvel.nsi
; Silent: setup.exe /S, and uninstall.exe /S.

; A 64-bit installer for a 64-bit program (it also runs where no 32-bit layer is).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
!include x64.nsh

!define APP "Quorvel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
    ; The program is 64-bit: its folder and the uninstall entry are the 64-bit ones.
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "${APP} needs a 64-bit Windows." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${FILES}/quorvel.exe"
    File "${FILES}/qvl.exe"
    File "${FILES}/fresh.dat"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\quorvel.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The ${APP} developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quorvel.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${APP}.lnk"
    Delete "$INSTDIR\quorvel.exe"
    Delete "$INSTDIR\qvl.exe"
    Delete "$INSTDIR\fresh.dat"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
