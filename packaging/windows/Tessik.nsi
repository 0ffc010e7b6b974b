; The Tessik installer. Built by scripts/windows.sh:
;   makensis -DDIST=<folder of programs and data> -DFILES=<list> -DOUTFILE=<setup.exe> -DVERSION=x.y.z Tessik.nsi
; FILES is an include with one line `${TessikFile} "name"` for every file of
; DIST, so installing and removing walk the same list and the uninstaller
; takes away exactly what was installed (a file the user put into the
; folder stays, and so does the folder then).
;
; Without administrator rights it installs for the current user into
; $LOCALAPPDATA\Programs\Tessik, registered under HKCU; run elevated it
; installs for all users into $PROGRAMFILES64\Tessik, registered under HKLM.
; /CurrentUser or /AllUsers on the command line choose explicitly (/AllUsers
; only when elevated). The Start-menu shortcut starts tessik.exe in the
; installation folder, where the program finds its data files.

; A 64-bit installer, like the programs it installs.
Target amd64-unicode
!include LogicLib.nsh
!include FileFunc.nsh

!ifndef DIST | FILES | OUTFILE | VERSION
  !error "DIST, FILES, OUTFILE and VERSION must be defined"
!endif

!define PRODUCT "Tessik"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
SetCompressor /SOLID lzma
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
ShowInstDetails show
ShowUninstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var AllUsers

Function .onInit
  SetRegView 64
  StrCpy $AllUsers 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $AllUsers 1
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/CurrentUser" $2
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $1 "/AllUsers" $2
  ${IfNot} ${Errors}
    ${If} $0 != "Admin"
      MessageBox MB_ICONSTOP "Installing for all users needs administrator rights." /SD IDOK
      SetErrorLevel 5
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
  ${EndIf}
  ${If} $AllUsers == 1
    SetShellVarContext all
    StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
  ${Else}
    SetShellVarContext current
    StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
  ${EndIf}
FunctionEnd

!macro InstallFile NAME
  File "${DIST}\${NAME}"
!macroend
!macro RemoveFile NAME
  Delete "$INSTDIR\${NAME}"
!macroend

!macro WriteUninstallKey ROOT
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr ${ROOT} "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD ${ROOT} "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD ${ROOT} "${UNINSTALL_KEY}" "NoRepair" 1
!macroend

Section "Tessik"
  SetOutPath "$INSTDIR"
  !define TessikFile "!insertmacro InstallFile"
  !include "${FILES}"
  !undef TessikFile
  WriteUninstaller "$INSTDIR\uninstall.exe"

  !if /FileExists "${DIST}\tessik.exe"
    ; The shortcut's working folder is $OUTPATH: the folder of the data files.
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\tessik.exe"
  !endif

  ${If} $AllUsers == 1
    !insertmacro WriteUninstallKey HKLM
  ${Else}
    !insertmacro WriteUninstallKey HKCU
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  ; Installed for all users when the machine's entry names this folder.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $AllUsers 1
    SetShellVarContext all
  ${Else}
    StrCpy $AllUsers 0
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !define TessikFile "!insertmacro RemoveFile"
  !include "${FILES}"
  !undef TessikFile
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  ; Only when empty: what the user put there stays.
  RMDir "$INSTDIR"
  ${If} $AllUsers == 1
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${Else}
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd
