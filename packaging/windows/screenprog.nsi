; The Windows installer of screenprog, screenprog-noclock and screenprog-cli, for all users of
; the machine. Made by the build (packaging/windows/CMakeLists.txt), which
; defines VERSION, VERSION_NUMERIC, PROGRAMS_DIR, SOURCE_DIR, SOURCE_TARBALL,
; NOTICE, QT_LICENSES, SIGN and OUTFILE.
; "setup.exe /S" installs without questions, "uninstall.exe /S" removes; both
; refuse, and change nothing, while any of the programs runs from the folder.
; A 64-bit installer for the 64-bit programs: it needs no 32-bit layer (Wine
; without one runs it too) and installs to the 64-bit Program Files.
Target amd64-unicode
!include MUI2.nsh
!include LogicLib.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\screenprog"
!define MENU_DIR "$SMPROGRAMS\screenprog"

Name "screenprog ${VERSION}"
BrandingText "screenprog ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\screenprog"
; A second install, of this version or another, goes where the first one is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

VIProductVersion "${VERSION_NUMERIC}"
VIAddVersionKey /LANG=0 "ProductName" "screenprog"
VIAddVersionKey /LANG=0 "FileDescription" "Instalator programu screenprog"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "GPL-3.0-or-later"

; scripts/sign-windows signs the uninstaller as it is made and then the
; installer, when the environment names a certificate (and does nothing
; otherwise).
!uninstfinalize '"${SIGN}" "%1"' = 0
!finalize '"${SIGN}" "%1"' = 0

!define MUI_ICON "${SOURCE_DIR}/resources/icons/screenprog.ico"
!define MUI_UNICON "${SOURCE_DIR}/resources/icons/screenprog.ico"
!insertmacro MUI_PAGE_LICENSE "${NOTICE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

; Windows refuses to open the file of a running program for writing, so a
; program running from the folder would make the copy, or the removal, fail
; half-way. Asks to close it and try again; cancelled (always, when silent),
; ends with exit code 2 before anything has changed.
!macro RefuseWhileRunning WHAT
    ${Do}
        StrCpy $1 ""
        !insertmacro FindRunning screenprog.exe
        !insertmacro FindRunning screenprog-noclock.exe
        !insertmacro FindRunning screenprog-cli.exe
        ${If} $1 == ""
            ${Break}
        ${EndIf}
        ${If} ${Cmd} `MessageBox MB_ICONSTOP|MB_RETRYCANCEL "Program $1 jest uruchomiony z folderu $INSTDIR i nie może zostać ${WHAT}.$\r$\n$\r$\nZamknij go i spróbuj ponownie." /SD IDCANCEL IDCANCEL`
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${Loop}
!macroend
; $1 = EXE when it is in the folder and cannot be opened for writing.
!macro FindRunning EXE
    ${If} ${FileExists} "$INSTDIR\${EXE}"
        FileOpen $0 "$INSTDIR\${EXE}" a
        ${If} $0 == ""
            StrCpy $1 "${EXE}"
        ${Else}
            FileClose $0
        ${EndIf}
    ${EndIf}
!macroend

Function .onInit
    SetShellVarContext all
FunctionEnd

Section
    !insertmacro RefuseWhileRunning "zastąpiony"
    SetOutPath "$INSTDIR"
    ; What an earlier version put here and this one may not replace: its
    ; source and Qt's licence texts.
    Delete "$INSTDIR\screenprog-*-src.tar.gz"
    RMDir /r "$INSTDIR\licenses\Qt"
    File "${PROGRAMS_DIR}/screenprog.exe"
    File "${PROGRAMS_DIR}/screenprog-noclock.exe"
    File "${SOURCE_TARBALL}"
    File "${PROGRAMS_DIR}/screenprog-cli.exe"
    File "/oname=LICENSE.txt" "${SOURCE_DIR}/LICENSE"
    File "/oname=LICENCJE.txt" "${NOTICE}"
    SetOutPath "$INSTDIR\licenses\Qt"
    File /r "${QT_LICENSES}/*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "${MENU_DIR}"
    ; The names of the Linux desktop entries (packaging/*.desktop, Name[pl]).
    CreateShortcut "${MENU_DIR}\Programator VELTA-ORSO.lnk" "$INSTDIR\screenprog.exe"
    CreateShortcut "${MENU_DIR}\Programator VELTA-ORSO (bez zegara).lnk" \
        "$INSTDIR\screenprog-noclock.exe"
    CreateShortcut "${MENU_DIR}\Licencje.lnk" "$INSTDIR\LICENCJE.txt"
    CreateShortcut "${MENU_DIR}\Odinstaluj screenprog.lnk" "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "screenprog"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Korvant"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\screenprog.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; In KiB, as "Apps & features" shows it.
    SectionGetSize 0 $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

; Removes only what the installer put there; a folder the user added files
; to stays.
Section "Uninstall"
    !insertmacro RefuseWhileRunning "usunięty"
    Delete "$INSTDIR\screenprog.exe"
    Delete "$INSTDIR\screenprog-noclock.exe"
    Delete "$INSTDIR\screenprog-*-src.tar.gz"
    Delete "$INSTDIR\screenprog-cli.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\LICENCJE.txt"
    RMDir /r "$INSTDIR\licenses\Qt"
    RMDir "$INSTDIR\licenses"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir /r "${MENU_DIR}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
