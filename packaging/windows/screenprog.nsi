; The Windows installer of screenprog, screenprog-noclock and screenprog-cli, for all users of
; the machine. Made by the build (packaging/windows/CMakeLists.txt), which
; defines VERSION, VERSION_NUMERIC, COMPANY, MAKER_URL (may be empty),
; PROGRAMS_DIR, SOURCE_DIR, SOURCE_TARBALL, NOTICE, QT_LICENSES, SIGN and
; OUTFILE.
; "setup.exe /S" installs without questions, "uninstall.exe /S" removes; both
; refuse, and change nothing, while any of the programs runs from the folder.
; A 32-bit installer of the 64-bit programs: only a program that starts can
; tell a 32-bit Windows, in Polish, that they will not run there. It installs
; to the 64-bit Program Files and writes the 64-bit registry.
Target x86-unicode
!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh
!include x64.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\screenprog"
!define MENU_DIR "$SMPROGRAMS\screenprog"
; The name that technicians know, as in the Start menu.
!define DISPLAY_NAME "Programator VELTA-ORSO"
!define PUBLISHER "Korvant"

Name "screenprog ${VERSION}"
BrandingText "screenprog ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\screenprog"
RequestExecutionLevel admin
; Sharp at the 125-150 % that laptops use.
ManifestDPIAware true
SetCompressor /SOLID lzma

VIProductVersion "${VERSION_NUMERIC}"
VIAddVersionKey /LANG=0 "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=0 "ProductName" "screenprog"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "FileDescription" "Instalator screenprog"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "GPL-3.0-or-later"

; scripts/sign-windows signs the uninstaller as it is made and then the
; installer, when the environment names a certificate (and does nothing
; otherwise), with the names that Windows' prompts show.
!uninstfinalize '"${SIGN}" --name "Deinstalator screenprog" --url "${MAKER_URL}" "%1"' = 0
!finalize '"${SIGN}" --name "Instalator screenprog" --url "${MAKER_URL}" "%1"' = 0

!define MUI_ICON "${SOURCE_DIR}/resources/icons/screenprog.ico"
!define MUI_UNICON "${SOURCE_DIR}/resources/icons/screenprog.ico"
; The licence page informs; the GPL asks nobody to accept it in order to
; run the programs (its section 9), so it has no "Zgadzam się".
!define MUI_PAGE_HEADER_TEXT "Licencje"
!define MUI_PAGE_HEADER_SUBTEXT "Informacja o licencjach programów i bibliotek Qt."
!define MUI_LICENSEPAGE_TEXT_TOP "Naciśnij klawisz Page Down, aby zobaczyć dalszą część tekstu."
!define MUI_LICENSEPAGE_TEXT_BOTTOM "Licencja GNU GPL nie wymaga akceptacji: do używania programów nie trzeba się na nic zgadzać. Jej warunki dotyczą tylko tego, kto programy zmienia lub rozpowszechnia."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${NOTICE}"
; An update goes where the earlier install is, without asking.
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipDirectoryOnUpdate
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

; A screen-set file (.ekrany) opens in the program on a double-click; each
; program has a ProgID, and screenprog-noclock is offered under "Otwórz za
; pomocą". The shell is told that its associations changed.
!define SETS "Software\Classes\.ekrany"
!macro ScreenSetType PROGRAM
    WriteRegStr HKLM "Software\Classes\${PROGRAM}.ekrany" "" "Zestaw ekranów VELTA-ORSO"
    WriteRegStr HKLM "Software\Classes\${PROGRAM}.ekrany\DefaultIcon" "" "$INSTDIR\${PROGRAM}.exe,0"
    WriteRegStr HKLM "Software\Classes\${PROGRAM}.ekrany\shell\open\command" "" '"$INSTDIR\${PROGRAM}.exe" "%1"'
    WriteRegStr HKLM "${SETS}\OpenWithProgids" "${PROGRAM}.ekrany" ""
!macroend
!macro UnScreenSetType PROGRAM
    DeleteRegKey HKLM "Software\Classes\${PROGRAM}.ekrany"
    DeleteRegValue HKLM "${SETS}\OpenWithProgids" "${PROGRAM}.ekrany"
!macroend
!define SHCNE_ASSOCCHANGED 0x08000000

Var earlier ; the folder of an earlier install, or ""

; What the installer needs before it shows anything; each refusal ends it
; before anything has changed, with an exit code of its own.
Function .onInit
    SetShellVarContext all
    SetRegView 64
    ; Qt 6.4 runs on 64-bit Windows 10 1809 (build 17763) and later; Windows
    ; 11 on ARM runs x64 programs too.
    ${IfNot} ${AtLeastBuild} 17763
    ${OrIfNot} ${IsNativeAMD64}
        ${IfNot} ${IsNativeARM64}
        ${OrIfNot} ${AtLeastBuild} 22000
            MessageBox MB_ICONSTOP "Programator VELTA-ORSO wymaga 64-bitowego$\r$\nsystemu Windows 10 w wersji 1809 lub nowszej$\r$\nalbo systemu Windows 11.$\r$\n$\r$\nNie można go zainstalować na tym komputerze." /SD IDOK
            SetErrorLevel 3
            Quit
        ${EndIf}
    ${EndIf}
    ; With UAC off, the installer runs with the rights of the account that
    ; started it: only an administrator's may write to Program Files.
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        MessageBox MB_ICONSTOP "Do instalacji programu potrzebne są uprawnienia administratora.$\r$\n$\r$\nUruchom instalator jako administrator albo poproś o to administratora komputera." /SD IDOK
        SetErrorLevel 4
        Quit
    ${EndIf}
    ; An earlier install, of this version or another, is replaced where it
    ; is, whatever folder was asked for: two copies would share one entry in
    ; "Apps & features".
    ReadRegStr $earlier HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $earlier != ""
    ${AndIf} ${FileExists} "$earlier\uninstall.exe"
        StrCpy $INSTDIR $earlier
    ${Else}
        StrCpy $earlier ""
    ${EndIf}
FunctionEnd

Function SkipDirectoryOnUpdate
    ${If} $earlier != ""
        Abort
    ${EndIf}
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

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Contact" "${PUBLISHER}"
    !if "${MAKER_URL}" != ""
        WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "${MAKER_URL}"
        WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${MAKER_URL}"
    !endif
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\screenprog.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    !insertmacro ScreenSetType screenprog
    !insertmacro ScreenSetType screenprog-noclock
    WriteRegStr HKLM "${SETS}" "" "screenprog.ekrany"
    WriteRegStr HKLM "${SETS}" "Content Type" "application/x-velta-orso-screens"
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
    ; In KiB, as "Apps & features" shows it.
    SectionGetSize 0 $0
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
    SetShellVarContext all
    SetRegView 64
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
    ; The extension's own key goes only while it still names screenprog, and
    ; with no other program's entries in it.
    !insertmacro UnScreenSetType screenprog
    !insertmacro UnScreenSetType screenprog-noclock
    DeleteRegKey /ifempty HKLM "${SETS}\OpenWithProgids"
    ReadRegStr $0 HKLM "${SETS}" ""
    ${If} $0 == "screenprog.ekrany"
        DeleteRegValue HKLM "${SETS}" ""
        DeleteRegValue HKLM "${SETS}" "Content Type"
    ${EndIf}
    DeleteRegKey /ifempty HKLM "${SETS}"
    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
SectionEnd
