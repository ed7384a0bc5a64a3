; The Windows installer of the Kestrel configure tool, built by scripts/package-windows.sh with makensis:
;   makensis -DVERSION=1.1 -DSTAGE=<the zip's folder> -DOUTFILE=<installer.exe> kestrel-configure.nsi
; Installs for all users into Program Files, puts the window and a command prompt for kestrelctl in the Start
; menu, and registers an uninstaller. Silent: installer.exe /S [/D=folder]; uninstall.exe /S.
; A 64-bit installer for 64-bit programs: it runs where they run, without the 32-bit subsystem.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Kestrel Configure"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KestrelConfigure"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Install"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\kestrel-configure.exe"
    ; A console where kestrelctl and kestrel-sim are found by name.
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\kestrelctl command prompt.lnk" "$SYSDIR\cmd.exe" \
        '/k "set PATH=$INSTDIR;%PATH% && kestrelctl --help"' "$SYSDIR\cmd.exe" 0
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\Uninstall.lnk" "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrel-configure.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    RMDir /r "$SMPROGRAMS\${PRODUCT}"
    ; Only what the installer put there: the file list is the zip's, written by package-windows.sh.
    !include "${STAGE}\..\uninstall-files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
