; The Windows installer of screenprog and screenprog-noclock, for all users of
; the machine. Made by the build (packaging/windows/CMakeLists.txt), which
; defines VERSION, VERSION_NUMERIC, PROGRAMS_DIR, SOURCE_DIR, QT_LICENSES and OUTFILE.
; "setup.exe /S" installs without questions, "uninstall.exe /S" removes.
; A 64-bit installer for the 64-bit programs: it needs no 32-bit layer (Wine
; without one runs it too) and installs to the 64-bit Program Files.
Target amd64-unicode
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\screenprog"
!define MENU_DIR "$SMPROGRAMS\screenprog"

Name "screenprog ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\screenprog"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

VIProductVersion "${VERSION_NUMERIC}"
VIAddVersionKey /LANG=0 "ProductName" "screenprog"
VIAddVersionKey /LANG=0 "FileDescription" "Instalator programu screenprog"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "GPL-3.0-or-later"

!define MUI_ICON "${SOURCE_DIR}/resources/icons/screenprog.ico"
!define MUI_UNICON "${SOURCE_DIR}/resources/icons/screenprog.ico"
!insertmacro MUI_PAGE_LICENSE "${SOURCE_DIR}/packaging/windows/licences.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"

Function .onInit
    SetShellVarContext all
FunctionEnd

Section
    SetOutPath "$INSTDIR"
    File "${PROGRAMS_DIR}/screenprog.exe"
    File "${PROGRAMS_DIR}/screenprog-noclock.exe"
    File "${PROGRAMS_DIR}/screenprog-cli.exe"
    File "/oname=LICENSE.txt" "${SOURCE_DIR}/LICENSE"
    File "/oname=LICENCJE.txt" "${SOURCE_DIR}/packaging/windows/licences.txt"
    SetOutPath "$INSTDIR\licenses\Qt"
    File "${QT_LICENSES}/*"
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
SectionEnd

Function un.onInit
    SetShellVarContext all
FunctionEnd

; Removes only what the installer put there; a folder the user added files
; to stays.
Section "Uninstall"
    Delete "$INSTDIR\screenprog.exe"
    Delete "$INSTDIR\screenprog-noclock.exe"
    Delete "$INSTDIR\screenprog-cli.exe"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\LICENCJE.txt"
    RMDir /r "$INSTDIR\licenses"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir /r "${MENU_DIR}"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
