; An installer for Orvane that registers the product's firewall rules with orvane-firewall.exe and
; takes them away again on uninstall with orvane-firewall-remove.exe. Built from Linux with
; Debian's nsis package, from the repository's root, after the `windows` preset's build:
;
;   makensis -WX -DBIN_DIR=build/windows/bin -DOUT_FILE=orvane-setup.exe examples/nsis/orvane.nsi
;
; BIN_DIR holds the two programs. The product's own files (orvane-lobby.exe, the emulators) would
; be installed beside them; this example installs the two programs only.

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

Name "Orvane"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Orvane"
; Windows' firewall takes and gives up rules for an administrator only.
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

Section "Orvane"
  SetOutPath "$INSTDIR"
  File "${BIN_DIR}/orvane-firewall.exe"
  File "${BIN_DIR}/orvane-firewall-remove.exe"

  ; The six rules. Exit status 0: they are all there. Anything else (101 with a report on its
  ; standard error, or a program that could not start, which sets the error flag): the rules the
  ; program added before it stopped are taken away again, the files go too, and the installation
  ; stops, so that nothing of a half installation stays behind.
  ClearErrors
  ExecWait '"$INSTDIR\orvane-firewall.exe"' $0
  ${If} ${Errors}
  ${OrIf} $0 <> 0
    ExecWait '"$INSTDIR\orvane-firewall-remove.exe"'
    Delete "$INSTDIR\orvane-firewall.exe"
    Delete "$INSTDIR\orvane-firewall-remove.exe"
    ; SetOutPath made the folder the installer's working folder, which Windows does not remove.
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    DetailPrint "orvane-firewall.exe ended with exit status $0"
    MessageBox MB_ICONSTOP \
        "Orvane's Windows Firewall rules could not be added (exit status $0). Nothing was installed. Run the installer as an administrator." \
        /SD IDOK
    Abort "Orvane's Windows Firewall rules could not be added."
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd

Section "Uninstall"
  ; The rules go first, while the remover is still there. When it fails (101: a user without
  ; administrator rights, say), the uninstallation stops with every file in place, so that it can
  ; be run again as an administrator rather than leave allow rules for a folder that no longer
  ; belongs to Orvane.
  ClearErrors
  ExecWait '"$INSTDIR\orvane-firewall-remove.exe"' $0
  ${If} ${Errors}
  ${OrIf} $0 <> 0
    DetailPrint "orvane-firewall-remove.exe ended with exit status $0"
    MessageBox MB_ICONSTOP \
        "Orvane's Windows Firewall rules could not be removed (exit status $0). Nothing was uninstalled. Run the uninstaller as an administrator." \
        /SD IDOK
    Abort "Orvane's Windows Firewall rules could not be removed."
  ${EndIf}

  Delete "$INSTDIR\orvane-firewall.exe"
  Delete "$INSTDIR\orvane-firewall-remove.exe"
  Delete "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
SectionEnd
