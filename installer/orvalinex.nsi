; The product's installer. Built by installer/build-installer.sh, which passes
;   STAGE    the staged installation folder (programs, libraries, scripts, page, manifests)
;   VERSION  the release version, four numbers joined by dots
;   ARCH     x86 (the shipped build) or amd64
;   DEVELOPMENT defined for a development release: the title says so
;   SIGN_UNINSTALLER defined: the command that signs the uninstaller this installer writes
;   OUTFILE  the installer to write
;   GENERATED the folder with product.nsh (names built from the product identifier) and
;            files.nsh (the staged files and folders, for installing, for putting back what a
;            failed installation replaced, and for the uninstaller)
; Over an existing installation (the updater runs it without arguments and waits for it) it asks
; nothing and closes by itself; "/S" makes any run silent. It refuses to go over a newer installed
; version (exit code 4). A file it cannot write (exit code 2) or a control it cannot register (3)
; ends it without damage: nothing more is written or registered after the first error, whose
; code is the exit code; the files it replaced are put back and the old control registered again,
; and the installation's settings, its Version among them, stay as they were.

Unicode true
!if "${ARCH}" == "amd64"
  Target amd64-unicode
!else
  Target x86-unicode
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include "${GENERATED}\product.nsh"
!include "${GENERATED}\files.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"

!ifdef SIGN_UNINSTALLER
  ; The uninstaller is written while this installer is built: it is signed there, and the build
  ; fails when the signing does.
  !uninstfinalize '${SIGN_UNINSTALLER}' = 0
!endif

; The first step that failed: 0, or the exit code (2 a file, 3 the control's registration). After
; a failure nothing more is written or registered, and what was replaced is put back.
Var Failed
; 1 once the old control's registration was taken down.
Var OldControlUnregistered
; What MoveAside kept of the uninstaller that was there.
Var PreviousUninstaller

; Moves FILE aside to a new name in its folder; VAR gets that name, or "-" when there was no
; FILE. A running program or a loaded library can be moved aside but not overwritten (the updater
; runs this installer from the installed folder and waits for it). A file that cannot be moved
; (held open by a program) is a failure, and VAR stays "".
!macro MoveAside FILE VAR
  StrCpy ${VAR} "-"
  ${If} ${FileExists} "${FILE}"
    GetTempFileName $R0 "$OUTDIR"
    Delete "$R0"
    ClearErrors
    Rename "${FILE}" "$R0"
    ${If} ${Errors}
      DetailPrint "Cannot move ${FILE} aside"
      StrCpy ${VAR} ""
      StrCpy $Failed 2
    ${Else}
      StrCpy ${VAR} $R0
    ${EndIf}
  ${EndIf}
!macroend
; Puts back what MoveAside kept in VAR: the new FILE goes, the old one takes its name again.
!macro PutBack FILE VAR
  ${If} ${VAR} != ""
    Delete "${FILE}"
    ${If} ${VAR} != "-"
      Rename "${VAR}" "${FILE}"
    ${EndIf}
  ${EndIf}
!macroend
; Removes what MoveAside kept in VAR, as soon as it is free (at the next start of Windows at the
; latest).
!macro Forget VAR
  ${If} ${VAR} != ""
  ${AndIf} ${VAR} != "-"
    Delete /REBOOTOK "${VAR}"
  ${EndIf}
!macroend

; The steps over the staged files (files.nsh calls them with $R8 the installed folder, $R9 the
; name, and the staged copy and number of each file). The file that was there is kept in
; $PreviousN until the installation has succeeded or failed.
!macro InstallFile SOURCE INDEX
  Var /GLOBAL Previous${INDEX}
  StrCpy $Previous${INDEX} ""
  ${If} $Failed == 0
    SetOutPath "$R8"
    !insertmacro MoveAside "$R8\$R9" $Previous${INDEX}
  ${EndIf}
  ${If} $Failed == 0
    ClearErrors
    File "/oname=$R9" "${SOURCE}"
    ${If} ${Errors}
      DetailPrint "Cannot write $R8\$R9"
      StrCpy $Failed 2
    ${EndIf}
  ${EndIf}
!macroend
!macro PutBackFile SOURCE INDEX
  !insertmacro PutBack "$R8\$R9" $Previous${INDEX}
!macroend
!macro ForgetFile SOURCE INDEX
  !insertmacro Forget $Previous${INDEX}
!macroend

; The installation's steps after the files; each does nothing once one before it failed.
!macro InstallUninstaller
  StrCpy $PreviousUninstaller ""
  ${If} $Failed == 0
    SetOutPath "$INSTDIR"
    !insertmacro MoveAside "$INSTDIR\${UNINSTALLER}" $PreviousUninstaller
  ${EndIf}
  ${If} $Failed == 0
    ClearErrors
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"
    ${If} ${Errors}
      StrCpy $Failed 2
    ${EndIf}
  ${EndIf}
!macroend
; The control is registered only over files that were all written. The old control's
; registration goes first, from where its file was moved aside, so that a control whose
; interface moved leaves no stale entries behind.
!macro RegisterControl
  ${If} $Failed == 0
    ${If} $Previous${REGISTERED_INDEX} != "-"
      UnRegDLL "$Previous${REGISTERED_INDEX}"
      StrCpy $OldControlUnregistered 1
    ${EndIf}
    ClearErrors
    RegDLL "$INSTDIR\${REGISTERED_FILE}"
    ${If} ${Errors}
      DetailPrint "The token control could not be registered."
      StrCpy $Failed 3
    ${EndIf}
  ${EndIf}
!macroend
; After a failure: the files that were there, the old uninstaller and the old control's
; registration.
!macro PutBackAll
  !insertmacro StagedFiles PutBackFile
  !insertmacro PutBack "$INSTDIR\${UNINSTALLER}" $PreviousUninstaller
  ${If} $OldControlUnregistered == 1
    RegDLL "$INSTDIR\${REGISTERED_FILE}"
  ${EndIf}
!macroend

; The uninstaller ends the product's running programs as the product does, with "-t", and removes
; each file once its program has let it go (or at the next start of Windows).
!macro StopProgram FILE
  ${If} ${FileExists} "$INSTDIR\${FILE}"
    ExecWait '"$INSTDIR\${FILE}" -t'
  ${EndIf}
!macroend
!macro RemoveFile SOURCE INDEX
  !insertmacro RemoveWhenFree "$R8\$R9"
!macroend
!macro RemoveFolder
  RMDir "$R8"
!macroend
!macro RemoveWhenFree FILE
  StrCpy $R1 0
  ${Do}
    ClearErrors
    Delete "${FILE}"
    ${IfNot} ${Errors}
    ${OrIfNot} ${FileExists} "${FILE}"
      ${Break}
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 >= 50
      Delete /REBOOTOK "${FILE}"
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
!macroend

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_ID}"
!define UNINSTALLER "uninstall.exe"

Name "${PRODUCT_NAME}"
!ifdef DEVELOPMENT
  ; A tester sees at once that this release is not for customers.
  Caption "${PRODUCT_NAME} ${VERSION} DEVELOPMENT"
  UninstallCaption "${PRODUCT_NAME} ${VERSION} DEVELOPMENT"
!endif
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT_ID}"
ShowInstDetails nevershow
ShowUninstDetails nevershow
AutoCloseWindow true
!ifdef DEVELOPMENT
  BrandingText "${PRODUCT_NAME} ${VERSION} DEVELOPMENT"
!else
  BrandingText "${PRODUCT_NAME} ${VERSION}"
!endif

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  ; The settings key lives in the 32-bit view whatever the installer's own architecture.
  SetRegView 32
  SetShellVarContext all
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Path"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\${CORE_FILE}"
    ; An update over the installed product: same folder, no questions, no window left open.
    StrCpy $INSTDIR $0
    SetSilent silent
  ${EndIf}
  ; Never over a newer installed version (an equal one is a repair).
  ReadRegStr $1 HKLM "${SETTINGS_KEY}" "Version"
  ${If} $1 != ""
    ${VersionCompare} "$1" "${VERSION}" $2
    ${If} $2 == 1
      SetErrorLevel 4
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Install"
  SetRegView 32
  SetShellVarContext all
  SetOverwrite on
  StrCpy $Failed 0
  StrCpy $OldControlUnregistered 0
  !insertmacro StagedFiles InstallFile
  !insertmacro InstallUninstaller
  !insertmacro RegisterControl
  ; A failed installation puts back what it replaced and keeps the settings of the one before:
  ; its Version says what is installed.
  ${If} $Failed != 0
    !insertmacro PutBackAll
    SetErrorLevel $Failed
    Quit
  ${EndIf}
  !insertmacro StagedFiles ForgetFile
  !insertmacro Forget $PreviousUninstaller

  WriteRegStr HKLM "${SETTINGS_KEY}" "Path" "$INSTDIR"
  WriteRegStr HKLM "${SETTINGS_KEY}" "Version" "${VERSION}"
  WriteRegDWORD HKLM "${SETTINGS_KEY}" "AutoUpdate" 1
  WriteRegDWORD HKLM "${SETTINGS_KEY}" "LangID" ${LANG_ID}
  WriteRegDWORD HKLM "${SETTINGS_KEY}" "RetryTimes" 0

  CreateDirectory "$SMPROGRAMS\${PRODUCT_NAME}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT_NAME}\${PRODUCT_NAME}.lnk" "$INSTDIR\${CORE_FILE}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT_NAME}\Uninstall ${PRODUCT_NAME}.lnk" "$INSTDIR\${UNINSTALLER}"
  CreateShortCut "$DESKTOP\${PRODUCT_NAME}.lnk" "$INSTDIR\${CORE_FILE}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${CORE_FILE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function un.onInit
  SetRegView 32
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  SetRegView 32
  SetShellVarContext all
  !insertmacro StopPrograms
  ${If} ${FileExists} "$INSTDIR\${REGISTERED_FILE}"
    UnRegDLL "$INSTDIR\${REGISTERED_FILE}"
  ${EndIf}
  !insertmacro StagedFiles RemoveFile
  !insertmacro StagedFolders RemoveFolder
  ; What the updater's hand-over and this installer moved aside, and the updater's work folders
  ; (only administrators can write there) that an ended attempt could not remove.
  Delete /REBOOTOK "$INSTDIR\*.old"
  RMDir /r "$INSTDIR\UpdateWork"
  Delete /REBOOTOK "$INSTDIR\ns*.tmp"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  Delete "$DESKTOP\${PRODUCT_NAME}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT_NAME}\${PRODUCT_NAME}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT_NAME}\Uninstall ${PRODUCT_NAME}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT_NAME}"

  ; The product key with every value, the core host's own one included; its parents only when
  ; nothing else is left under them.
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKLM "${SETTINGS_PARENT}"
  DeleteRegKey /ifempty HKLM "${SETTINGS_GRANDPARENT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
