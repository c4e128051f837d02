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
; and the installation's settings, its Version among them, stay as they were. Each step goes to its
; log below the installation ("Logs\<id>Setup.log"); a run started by hand (neither "/S" nor by the
; updater) also shows its failure with its code (I-2 … I-6) in a message box. The installation
; folder gets a protected DACL that lets only Administrators and SYSTEM change it, wherever it is;
; a folder that cannot be secured so (a network share or drive, a link or junction, a DACL that
; cannot be set) is refused before anything is written (exit code 5). One installer or
; uninstaller runs at a time (the mutex "Global\<id>Setup"; a second copy ends with exit code 6).

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

;; ---- the installation folder, only administrators can change it ----
; Before anything is written there: $0 gets "" once the folder is made (or found) and its
; protected DACL (INSTALLED_FOLDER_SDDL) is set on it and everything inside, or the reason it
; cannot be secured. Not on a network share or drive (the server decides who may write there),
; not on a link or junction (its DACL is not the folder's that is written).
Function SecureInstalledFolder
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $0 ""
  ; Texts reach System::Call through registers: a path may hold parentheses.
  StrCpy $4 "$INSTDIR"
  StrCpy $1 $4 2
  StrCpy $2 $4 3
  ${If} $1 == "\\"
  ${OrIf} $1 == "//"
    StrCpy $0 "a network share"
  ${Else}
    System::Call 'kernel32::GetDriveTypeW(w r2) i .r3'
    ${If} $3 = 4  ; DRIVE_REMOTE
      StrCpy $0 "a network drive"
    ${EndIf}
  ${EndIf}
  ${If} $0 == ""
    CreateDirectory "$INSTDIR"
    System::Call 'kernel32::GetFileAttributesW(w r4) i .r3'
    IntOp $1 $3 & 0x410
    ${If} $3 = -1
      StrCpy $0 "no folder could be made"
    ${ElseIf} $1 <> 0x10
      StrCpy $0 "a link or junction, or no folder"
    ${EndIf}
  ${EndIf}
  ${If} $0 == ""
    StrCpy $5 "${INSTALLED_FOLDER_SDDL}"
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r5, i 1, *p .r1, p 0) i .r3'
    ${If} $3 = 0
      StrCpy $0 "the descriptor cannot be built"
    ${Else}
      System::Call 'advapi32::GetSecurityDescriptorOwner(p r1, *p .r2, *i .r6) i'
      System::Call 'advapi32::GetSecurityDescriptorDacl(p r1, *i .r6, *p .r5, *i .r3) i'
      ; SE_FILE_OBJECT; OWNER | DACL | PROTECTED_DACL: set on the folder and passed on to
      ; everything inside it.
      System::Call 'advapi32::SetNamedSecurityInfoW(w r4, i 1, i 0x80000005, p r2, p 0, p r5, p 0) i .r3'
      System::Call 'kernel32::LocalFree(p r1)'
      ${If} $3 != 0
        StrCpy $0 "its DACL cannot be set (error $3)"
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

; Refuses a second installer or uninstaller while one runs: exit code 6. The mutex is held until
; this process ends.
!macro TakeSetupMutex PREFIX
  System::Call 'kernel32::CreateMutexW(p 0, i 0, w "Global\${PRODUCT_ID}Setup") p .r1 ?e'
  Pop $2
  ${If} $1 == 0
  ${OrIf} $2 = 183  ; ERROR_ALREADY_EXISTS
    !if "${PREFIX}" == ""
      ; Written nowhere: the other copy may be writing the log.
      StrCpy $LogFolderReady 0
      Push 6
      Call ShowFailure
    !endif
    SetErrorLevel 6
    Quit
  ${EndIf}
!macroend

;; ---- the installer's log ----
; "<installation folder>\Logs\<id>Setup.log", beside the elevated programs' logs, in their format:
; the time (UTC), the version, the attempt ("-"), the code ("-", or I-<exit code>) and the text,
; one line a step, bounded to 1 MiB with one older generation ("<id>Setup.old.log"). The folder
; is made with the logs' descriptor, so that only administrators write there; an existing one is
; used only when it is a real folder (no junction or link), and the programs check its owner and
; set its DACL again at their next line. A line that cannot be written is lost without a word.
!define LOG_BOUND 1048576
!define SETUP_LOG "$INSTDIR\${LOG_FOLDER}\${PRODUCT_ID}Setup.log"
!define SETUP_OLD_LOG "$INSTDIR\${LOG_FOLDER}\${PRODUCT_ID}Setup.old.log"
; 1 when this run was started by hand: without "/S" and not from the updater's work folder. Only
; then does a failure show its message box; every other run only logs it.
Var ByHand
; Empty until the log's folder was looked at; then 1 (made, or found real) or 0 (not usable).
Var LogFolderReady

!macro Log CODE TEXT
  Push "${TEXT}"
  Push "${CODE}"
  Call WriteLogLine
!macroend

; Makes the log's folder with the logs' descriptor, or finds an existing real folder.
Function PrepareLogFolder
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $LogFolderReady 0
  ; Texts reach System::Call through registers: a path may hold parentheses.
  StrCpy $3 "${LOG_FOLDER_SDDL}"
  StrCpy $4 "$INSTDIR\${LOG_FOLDER}"
  ${If} ${FileExists} "$INSTDIR\*.*"
    System::Call 'advapi32::ConvertStringSecurityDescriptorToSecurityDescriptorW(w r3, i 1, *p .r0, p 0) i .r2'
    ${If} $2 != 0
      ; SECURITY_ATTRIBUTES: its length, the descriptor, not inherited.
      !if "${ARCH}" == "amd64"
        System::Call '*(i 24, i 0, p r0, i 0, i 0) p .r1'
      !else
        System::Call '*(i 12, p r0, i 0) p .r1'
      !endif
      System::Call 'kernel32::CreateDirectoryW(w r4, p r1) i .r2 ?e'
      Pop $3
      System::Free $1
      System::Call 'kernel32::LocalFree(p r0)'
      ${If} $2 != 0
        StrCpy $LogFolderReady 1
      ${ElseIf} $3 = 183  ; ERROR_ALREADY_EXISTS
        ; A folder, and no reparse point: FILE_ATTRIBUTE_DIRECTORY alone of the two.
        System::Call 'kernel32::GetFileAttributesW(w r4) i .r3'
        IntOp $3 $3 & 0x410
        ${If} $3 = 0x10
          StrCpy $LogFolderReady 1
        ${EndIf}
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Appends one line (stack: the code, then the text) with a single write, after a line break when
; the file does not end in one; a file the line would take past the bound becomes the older
; generation first.
Function WriteLogLine
  Exch $0
  Exch
  Exch $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  Push $7
  Push $8
  Push $9
  ${If} $LogFolderReady == ""
    Call PrepareLogFolder
  ${EndIf}
  ${If} $LogFolderReady == 1
    ${GetTime} "" "LS" $2 $3 $4 $5 $6 $7 $8
    StrCpy $1 "$4-$3-$2T$6:$7:$8Z ${VERSION} - $0 $1$\r$\n"
    ClearErrors
    FileOpen $9 "${SETUP_LOG}" a
    ${IfNot} ${Errors}
      FileSeek $9 0 END $2
      StrLen $3 $1
      IntOp $3 $3 + $2
      ${If} $2 > 0
      ${AndIf} $3 > ${LOG_BOUND}
        FileClose $9
        Delete "${SETUP_OLD_LOG}"
        Rename "${SETUP_LOG}" "${SETUP_OLD_LOG}"
        ClearErrors
        FileOpen $9 "${SETUP_LOG}" a
        FileSeek $9 0 END $2
      ${EndIf}
      ${IfNot} ${Errors}
        ${If} $2 > 0
          FileSeek $9 -1 END
          FileReadByte $9 $3
          ${If} $3 != 10
            StrCpy $1 "$\r$\n$1"
          ${EndIf}
          FileSeek $9 0 END
        ${EndIf}
        FileWrite $9 $1
        FileClose $9
      ${EndIf}
    ${EndIf}
  ${EndIf}
  Pop $9
  Pop $8
  Pop $7
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; A failure's message box (stack: the exit code), for a run started by hand: what happened, in
; the product's language, with the code the customer reads out to the helpdesk.
Function ShowFailure
  Exch $0
  Push $1
  ${If} $ByHand == 1
    ${If} $0 = 6
      StrCpy $1 "${PRODUCT_NAME}的安装程序正在运行，请等待其结束后再试。"
    ${ElseIf} $0 = 5
      StrCpy $1 "安装目录无法设为仅管理员可修改（网络位置、链接或权限无法设置），未做任何更改。请选择本机上的普通文件夹。"
    ${ElseIf} $0 = 4
      StrCpy $1 "已安装较新版本的${PRODUCT_NAME}，本次安装未做任何更改。"
    ${ElseIf} $0 = 3
      StrCpy $1 "安装失败：USBKEY控件无法注册，已恢复原有安装。"
    ${Else}
      StrCpy $1 "安装失败：有文件无法写入（可能正被其他程序使用），已恢复原有安装。请关闭${PRODUCT_NAME}后重新安装。"
    ${EndIf}
    StrCpy $1 "$1$\r$\n$\r$\n错误代码：I-$0"
    System::Call 'user32::MessageBoxW(p $HWNDPARENT, w r1, w "${PRODUCT_NAME}", i 0x10010) i'
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

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
      !insertmacro Log "I-2" "cannot move ${FILE} aside (held open by a program?)"
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
      !insertmacro Log "I-2" "cannot write $R8\$R9"
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
      !insertmacro Log "I-2" "cannot write $INSTDIR\${UNINSTALLER}"
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
      !insertmacro Log "I-3" "cannot register $INSTDIR\${REGISTERED_FILE}"
      StrCpy $Failed 3
    ${Else}
      !insertmacro Log "-" "registered $INSTDIR\${REGISTERED_FILE}"
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
; A user program's log and its older generation (log_rules.h's names: "<name>.log",
; "<name>.old.log").
!macro RemoveUserLog PROGRAM
  !searchparse /noerrors "${PROGRAM}" "" _ORV_LOG_STEM "."
  Delete "$LOCALAPPDATA\${PRODUCT_ID}\${LOG_FOLDER}\${_ORV_LOG_STEM}.log"
  Delete "$LOCALAPPDATA\${PRODUCT_ID}\${LOG_FOLDER}\${_ORV_LOG_STEM}.old.log"
  !undef _ORV_LOG_STEM
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
  ; By hand: no "/S", and not the updater's run of the setup program it fetched into its work
  ; folder (which waits for it and reports the exit code itself).
  StrCpy $ByHand 1
  ${If} ${Silent}
    StrCpy $ByHand 0
  ${ElseIf} $0 != ""
    StrLen $3 "$0\${WORK_PARENT}\"
    StrCpy $3 "$EXEDIR\" $3
    ${If} $3 == "$0\${WORK_PARENT}\"
      StrCpy $ByHand 0
    ${EndIf}
  ${EndIf}
  !insertmacro TakeSetupMutex ""
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
      !insertmacro Log "I-4" "refused: the installed version $1 is newer than ${VERSION}; exit code 4"
      Push 4
      Call ShowFailure
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
  Call SecureInstalledFolder
  ${If} $0 != ""
    ; Nothing is written into a folder that cannot be secured, the log neither.
    StrCpy $LogFolderReady 0
    DetailPrint "Cannot secure $INSTDIR: $0"
    Push 5
    Call ShowFailure
    SetErrorLevel 5
    Quit
  ${EndIf}
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "Version"
  ${If} $0 == ""
    StrCpy $0 "nothing"
  ${EndIf}
  ${If} $ByHand == 1
    StrCpy $1 "by hand"
  ${Else}
    StrCpy $1 "silent"
  ${EndIf}
  !insertmacro Log "-" "start ($1): ${VERSION} over $0 in $INSTDIR, from $EXEPATH"
  !insertmacro StagedFiles InstallFile
  ${If} $Failed == 0
    !insertmacro Log "-" "files written"
  ${EndIf}
  !insertmacro InstallUninstaller
  !insertmacro RegisterControl
  ; A failed installation puts back what it replaced and keeps the settings of the one before:
  ; its Version says what is installed.
  ${If} $Failed != 0
    !insertmacro PutBackAll
    !insertmacro Log "I-$Failed" "failed: what was replaced is back, the settings are kept; exit code $Failed"
    Push $Failed
    Call ShowFailure
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
  CreateShortCut "$SMPROGRAMS\${PRODUCT_NAME}\Uninstall ${PRODUCT_NAME}.lnk" "$INSTDIR\${UNINSTALLER}" "_?=$INSTDIR"
  CreateShortCut "$DESKTOP\${PRODUCT_NAME}.lnk" "$INSTDIR\${CORE_FILE}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${CORE_FILE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; "_?=": the uninstaller runs from where it stands, never from a copy in the user's temporary
  ; folder (where a planted library would be loaded by the elevated copy).
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}" _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S _?=$INSTDIR'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  !insertmacro Log "-" "installed ${VERSION}: settings, shortcuts and programs-list entry written; exit code 0"
SectionEnd

Function un.onInit
  SetRegView 32
  SetShellVarContext all
  !insertmacro TakeSetupMutex "un."
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
  ; What the updater's hand-over and this installer moved aside, the updater's work folders
  ; (only administrators can write there) that an ended attempt could not remove, and its
  ; trusted update metadata.
  Delete /REBOOTOK "$INSTDIR\*.old"
  RMDir /r "$INSTDIR\${WORK_PARENT}"
  RMDir /r "$INSTDIR\${TRUST_FOLDER}"
  ; The logs: the elevated programs' and this installer's below the installation (only
  ; administrators write there), and the user's own programs' of the user who uninstalls, by
  ; name (that folder is the user's: nothing there is followed or removed by pattern).
  RMDir /r "$INSTDIR\${LOG_FOLDER}"
  SetShellVarContext current
  !insertmacro RemoveUserLogs
  RMDir "$LOCALAPPDATA\${PRODUCT_ID}\${LOG_FOLDER}"
  RMDir "$LOCALAPPDATA\${PRODUCT_ID}"
  SetShellVarContext all
  Delete /REBOOTOK "$INSTDIR\ns*.tmp"
  ; Running from where it stands ("_?="), the uninstaller cannot remove its own file: it and the
  ; folder go at the next start of Windows.
  Delete /REBOOTOK "$INSTDIR\${UNINSTALLER}"
  RMDir /REBOOTOK "$INSTDIR"

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
