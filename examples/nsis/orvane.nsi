; An installer for Orvane that installs the firewall programs, registers the product's firewall rules
; with orvane-firewall.exe (the adder) and takes them away again on uninstall with
; orvane-firewall-remove.exe (the remover). Built from Linux with Debian's nsis package, from the
; repository's root, after the `windows` preset's build (which builds it itself into
; build/windows/orvane-setup.exe):
;
;   makensis -WX -DBIN_DIR=build/windows/bin -DOUT_FILE=orvane-setup.exe examples/nsis/orvane.nsi
;
; BIN_DIR holds the programs (ForEachProgram below lists them). The product's own files
; (orvane-lobby.exe, the emulators) would be installed beside them; this example installs the
; programs only.
;
; Command line, beside NSIS's own /S and /D=: /LOG=FILE appends every message the installer or the
; uninstaller shows in its details (a program's report among them) to FILE, so that a silent run
; that fails says why.

!ifndef BIN_DIR
  !error "BIN_DIR must name the folder with the programs"
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
Var Previous  ; the folder of the installation there before this run, or empty

; Every program the installer installs, one line each: each is installed, kept aside, put back and
; deleted through this list. The repair is installed for a person to run, never run here: it also
; disables block rules naming Orvane's programs, and those are the person's.
!macro ForEachProgram MACRO ARGUMENT
  !insertmacro ${MACRO} "${ARGUMENT}" orvane-firewall.exe
  !insertmacro ${MACRO} "${ARGUMENT}" orvane-firewall-remove.exe
  !insertmacro ${MACRO} "${ARGUMENT}" orvane-firewall-check.exe
  !insertmacro ${MACRO} "${ARGUMENT}" orvane-firewall-repair.exe
!macroend

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

; Run PATH: starts the program PATH without a console window and waits for it. Leaves its exit status
; in $0, or the text "error" when it could not be started, and what it wrote (standard output and
; error through one pipe; a failure's three-line report) in $1. nsExec reads the pipe in the ANSI
; code page while the report is UTF-8 (/MBCS turns off its guess at UTF-16, which plain ASCII can
; fool): the report is ASCII but for the system's or the firewall's message text, whose letters
; outside ASCII show garbled in the details. Compare $0 as text ("0"): LogicLib's numeric
; comparisons read "error" as 0, and a program that never started would pass.
!macro Run PATH
  nsExec::ExecToStack /MBCS '"${PATH}"'
  Pop $0
  Pop $1
!macroend

; The list's actions, each on one program NAME of the folder FOLDER.
!macro Install FOLDER NAME
  File "${BIN_DIR}/${NAME}"
!macroend
!macro KeepAside FOLDER NAME
  Delete "${FOLDER}\${NAME}.previous"
  ${If} ${FileExists} "${FOLDER}\${NAME}"
    Rename "${FOLDER}\${NAME}" "${FOLDER}\${NAME}.previous"
  ${EndIf}
!macroend
!macro PutBack FOLDER NAME
  Delete "${FOLDER}\${NAME}"
  ${If} ${FileExists} "${FOLDER}\${NAME}.previous"
    Rename "${FOLDER}\${NAME}.previous" "${FOLDER}\${NAME}"
  ${EndIf}
!macroend
!macro DeleteFile FOLDER NAME
  Delete "${FOLDER}\${NAME}"
!macroend
!macro DeletePrevious FOLDER NAME
  Delete "${FOLDER}\${NAME}.previous"
!macroend

; The installation there before this run, into $Previous: the folder that Orvane's entry among the
; installed programs names (written only by a completed installation), else this folder when it
; holds an uninstaller; either only while its adder is there, which a failed run needs to put the
; earlier rules back. Empty when there is none.
Function FindPrevious
  StrCpy $Previous ""
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
  ${AndIf} ${FileExists} "$R0\orvane-firewall.exe"
    StrCpy $Previous $R0
  ${ElseIf} ${FileExists} "$INSTDIR\uninstall.exe"
  ${AndIf} ${FileExists} "$INSTDIR\orvane-firewall.exe"
    StrCpy $Previous $INSTDIR
  ${EndIf}
FunctionEnd

; What runs when. Rules are found by name, and the adder leaves a rule whose name exists as it is, so
; it alone would keep rules that name an earlier installation's folder. So every installation runs
; the remover first, from the new folder (every rule of the six names goes, whatever folder it names,
; and no other rule: block rules are the person's), then the adder, from the new folder. The
; earlier installation's files stay in place until both have succeeded. When either fails, the run
; takes back what it did: the remover again (the rules the adder added before it stopped), the
; files as they were, then the earlier installation's own adder, from its own folder, puts its rules
; back (it adds every rule that is missing, naming its own folder's programs).
Section "Orvane"
  Call FindPrevious
  SetOutPath "$INSTDIR"
  ; The programs in this folder (an installation here) stay aside until the new ones have their rules.
  !insertmacro ForEachProgram KeepAside "$INSTDIR"
  !insertmacro ForEachProgram Install "$INSTDIR"
  ; The programs run from another working folder: a process that outlives them for a moment (the
  ; console host of their hidden console) would otherwise hold the installation folder open, and a
  ; failed installation could not remove it.
  SetOutPath "$TEMP"

  ; Exit status 0: every rule of the six names is gone, then the six are there. Anything else (101
  ; with a report, or "error" for a program that did not start) stops the installation.
  StrCpy $R2 orvane-firewall-remove.exe
  !insertmacro Run "$INSTDIR\$R2"
  ${If} $0 == "0"
    StrCpy $R2 orvane-firewall.exe
    !insertmacro Run "$INSTDIR\$R2"
  ${EndIf}
  ${If} $0 != "0"
    StrCpy $R1 $1
    !insertmacro Say "$R2 ended with exit status $0:"
    !insertmacro Say "$R1"
    ${If} $R2 == orvane-firewall.exe
      !insertmacro Run "$INSTDIR\orvane-firewall-remove.exe"
      !insertmacro Say "orvane-firewall-remove.exe ended with exit status $0. $1"
    ${EndIf}
    !insertmacro ForEachProgram PutBack "$INSTDIR"
    RMDir "$INSTDIR"
    ${If} $Previous != ""
      !insertmacro Run "$Previous\orvane-firewall.exe"
      !insertmacro Say "$Previous\orvane-firewall.exe, run to put the earlier rules back, ended with exit status $0. $1"
    ${EndIf}
    MessageBox MB_ICONSTOP \
        "Orvane's Windows Firewall rules could not be put in place, so Orvane was not installed. Run the installer as an administrator.$\r$\n$\r$\n$R1" \
        /SD IDOK
    Abort "Orvane's Windows Firewall rules could not be put in place."
  ${EndIf}

  !insertmacro ForEachProgram DeletePrevious "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Orvane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'

  ; An earlier installation in another folder is this one now: its programs and uninstaller go, so
  ; that nothing there can later remove this installation's rules or its entry. Compared by short
  ; names, so that one folder named two ways is never taken for another.
  ${If} $Previous != ""
    GetFullPathName /SHORT $R0 $Previous
    GetFullPathName /SHORT $R1 $INSTDIR
    ${If} $R0 != $R1
      !insertmacro ForEachProgram DeleteFile "$Previous"
      Delete "$Previous\uninstall.exe"
      RMDir "$Previous"
    ${EndIf}
  ${EndIf}
SectionEnd

Section "Uninstall"
  ; The rules go first, while the remover is still there. When it fails (101: a user without
  ; administrator rights, or a firewall that does not answer), the uninstallation stops with every
  ; file in place, so that it can be run again rather than leave allow rules for a folder that no
  ; longer belongs to Orvane, and the adder puts back the rules the remover took before it stopped.
  ; Not from the installation folder, for the reason above.
  SetOutPath "$TEMP"
  !insertmacro Run "$INSTDIR\orvane-firewall-remove.exe"
  ${If} $0 != "0"
    StrCpy $R1 $1
    !insertmacro Say "orvane-firewall-remove.exe ended with exit status $0:"
    !insertmacro Say "$R1"
    !insertmacro Run "$INSTDIR\orvane-firewall.exe"
    !insertmacro Say "orvane-firewall.exe, run to put the rules back, ended with exit status $0. $1"
    MessageBox MB_ICONSTOP \
        "Orvane's Windows Firewall rules could not be removed, so Orvane was not uninstalled. Run the uninstaller as an administrator.$\r$\n$\r$\n$R1" \
        /SD IDOK
    Abort "Orvane's Windows Firewall rules could not be removed."
  ${EndIf}

  !insertmacro ForEachProgram DeleteFile "$INSTDIR"
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  RMDir "$INSTDIR"
SectionEnd
