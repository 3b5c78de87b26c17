; An installer for Orvane that registers the product's firewall rules with orvane-firewall.exe and
; takes them away again on uninstall with orvane-firewall-remove.exe. Built from Linux with
; Debian's nsis package, from the repository's root, after the `windows` preset's build (which
; builds it itself into build/windows/orvane-setup.exe):
;
;   makensis -WX -DBIN_DIR=build/windows/bin -DOUT_FILE=orvane-setup.exe examples/nsis/orvane.nsi
;
; BIN_DIR holds the two programs. The product's own files (orvane-lobby.exe, the emulators) would
; be installed beside them; this example installs the two programs only.
;
; Command line, beside NSIS's own /S and /D=: /LOG=FILE appends every message the installer or the
; uninstaller shows in its details (a program's report among them) to FILE, so that a silent run
; that fails says why.

!ifndef BIN_DIR
  !error "BIN_DIR must name the folder with orvane-firewall.exe and orvane-firewall-remove.exe"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "orvane-setup.exe"
!endif

; A 64-bit installer, as the programs are: Wine's wine64 runs no 32-bit program at all.
Unicode true
Target amd64-unicode

!include LogicLib.nsh
!include FileFunc.nsh

; Where Windows lists the installation; its presence says that Orvane is installed on this machine.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orvane"

Name "Orvane"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Orvane"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
; Windows' firewall takes and gives up rules for an administrator only.
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Var LogFile  ; the /LOG= file, or empty

; Say TEXT: shows TEXT in the details and appends it, as a line, to the /LOG= file.
!macro Say TEXT
  Push `${TEXT}`
  !ifdef __UNINSTALL__
    Call un.Say
  !else
    Call Say
  !endif
!macroend

!macro SayFunction PREFIX
  Function ${PREFIX}Say
    Exch $R0
    Push $R1
    DetailPrint $R0
    ${If} $LogFile != ""
      ClearErrors
      FileOpen $R1 $LogFile a
      ${IfNot} ${Errors}
        FileSeek $R1 0 END
        FileWrite $R1 "$R0$\r$\n"
        FileClose $R1
      ${EndIf}
    ${EndIf}
    Pop $R1
    Pop $R0
  FunctionEnd
!macroend
!insertmacro SayFunction ""
!insertmacro SayFunction "un."

Function .onInit
  ${GetParameters} $R0
  ${GetOptions} $R0 "/LOG=" $LogFile
FunctionEnd

Function un.onInit
  ${un.GetParameters} $R0
  ${un.GetOptions} $R0 "/LOG=" $LogFile
FunctionEnd

; Run PROGRAM: starts $INSTDIR\PROGRAM without a console window and waits for it. Leaves its exit
; status in $0, or the text "error" when it could not be started, and what it wrote (standard
; output and error through one pipe; a failure's three-line report) in $1. nsExec reads the pipe in
; the ANSI code page while the report is UTF-8 (/MBCS turns off its guess at UTF-16, which plain
; ASCII can fool): the report is ASCII but for the system's or the firewall's message text, whose
; letters outside ASCII show garbled in the details.
!macro Run PROGRAM
  nsExec::ExecToStack /MBCS '"$INSTDIR\${PROGRAM}"'
  Pop $0
  Pop $1
!macroend

Section "Orvane"
  ; An installation there before this run: its rules bear the same names, so a failure here leaves
  ; them, its files and its uninstaller as they were. $R8: Orvane is installed on this machine;
  ; $R9: in this folder.
  StrCpy $R8 0
  StrCpy $R9 0
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    StrCpy $R9 1
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${OrIf} $R9 == 1
    StrCpy $R8 1
  ${EndIf}

  SetOutPath "$INSTDIR"
  ; The installed programs stay aside until the new ones have their rules.
  ${If} $R9 == 1
    Delete "$INSTDIR\orvane-firewall.exe.previous"
    Delete "$INSTDIR\orvane-firewall-remove.exe.previous"
    Rename "$INSTDIR\orvane-firewall.exe" "$INSTDIR\orvane-firewall.exe.previous"
    Rename "$INSTDIR\orvane-firewall-remove.exe" "$INSTDIR\orvane-firewall-remove.exe.previous"
  ${EndIf}
  File "${BIN_DIR}/orvane-firewall.exe"
  File "${BIN_DIR}/orvane-firewall-remove.exe"
  ; The programs run from another working folder: a process that outlives them for a moment (the
  ; console host of their hidden console) would otherwise hold the installation folder open, and a
  ; failed installation could not remove it.
  SetOutPath "$TEMP"

  ; The six rules. Exit status 0: they are all there. Anything else (101 with a report, or "error"
  ; for a program that did not start, compared as text) stops the installation, taking back only
  ; what this run did.
  !insertmacro Run orvane-firewall.exe
  ${If} $0 != "0"
    StrCpy $R1 $1
    !insertmacro Say "orvane-firewall.exe ended with exit status $0:"
    !insertmacro Say "$R1"
    ${If} $R8 == 0
      ; Nothing was installed before: the rules the program added before it stopped go again.
      !insertmacro Run orvane-firewall-remove.exe
      !insertmacro Say "orvane-firewall-remove.exe ended with exit status $0. $1"
    ${EndIf}
    Delete "$INSTDIR\orvane-firewall.exe"
    Delete "$INSTDIR\orvane-firewall-remove.exe"
    ${If} $R9 == 1
      Rename "$INSTDIR\orvane-firewall.exe.previous" "$INSTDIR\orvane-firewall.exe"
      Rename "$INSTDIR\orvane-firewall-remove.exe.previous" "$INSTDIR\orvane-firewall-remove.exe"
    ${Else}
      RMDir "$INSTDIR"
    ${EndIf}
    MessageBox MB_ICONSTOP \
        "Orvane's Windows Firewall rules could not be added, so Orvane was not installed. Run the installer as an administrator.$\r$\n$\r$\n$R1" \
        /SD IDOK
    Abort "Orvane's Windows Firewall rules could not be added."
  ${EndIf}

  Delete "$INSTDIR\orvane-firewall.exe.previous"
  Delete "$INSTDIR\orvane-firewall-remove.exe.previous"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Orvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
SectionEnd

Section "Uninstall"
  ; The rules go first, while the remover is still there. When it fails (101: a user without
  ; administrator rights, or a firewall that does not answer), the uninstallation stops with every
  ; file in place, so that it can be run again rather than leave allow rules for a folder that no
  ; longer belongs to Orvane. Not from the installation folder, for the reason above.
  SetOutPath "$TEMP"
  !insertmacro Run orvane-firewall-remove.exe
  ${If} $0 != "0"
    !insertmacro Say "orvane-firewall-remove.exe ended with exit status $0:"
    !insertmacro Say "$1"
    MessageBox MB_ICONSTOP \
        "Orvane's Windows Firewall rules could not be removed, so Orvane was not uninstalled. Run the uninstaller as an administrator.$\r$\n$\r$\n$1" \
        /SD IDOK
    Abort "Orvane's Windows Firewall rules could not be removed."
  ${EndIf}

  Delete "$INSTDIR\orvane-firewall.exe"
  Delete "$INSTDIR\orvane-firewall-remove.exe"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
SectionEnd
