; The installer of a game shipped with VEXA Player. vexaship writes game.nsh (the game's texts and
; the list of its files) beside a copy of this script and runs makensis on the copy; the script
; itself is the same for every game.
;
; setup.exe:     /CurrentUser  for the current user only (the default), in
;                              %LOCALAPPDATA%\Programs\<install name>
;                /AllUsers     for all users, in Program Files (needs an administrator)
;                /S            silent;  /DESKTOP with /S: a desktop shortcut too
;                /D=<folder>   another install folder (NSIS's own; last on the command line)
; uninstall.exe: /CurrentUser or /AllUsers (the Apps & features entry passes the install's own),
;                /S, and /DELETESAVES: delete the player's saves and settings of the game without
;                asking (silently they are kept otherwise).

Unicode true
!include /CHARSET=UTF8 "${__FILEDIR__}/game.nsh"

; A 64-bit game gets a 64-bit setup.exe. VEXA_SETUP_TARGET (makensis -D) builds a 32-bit one
; instead, which can tell a 32-bit Windows that the game needs 64 bits rather than not starting.
!ifdef VEXA_X64
  !define /ifndef VEXA_SETUP_TARGET amd64-unicode
!else
  !define /ifndef VEXA_SETUP_TARGET x86-unicode
!endif
Target ${VEXA_SETUP_TARGET}
SetCompressor /SOLID lzma
ManifestDPIAware true

!define VEXA_UNINSTALL_KEY \
  "Software\Microsoft\Windows\CurrentVersion\Uninstall\${VEXA_UNINSTALL_ID}"
!define VEXA_UNINSTALLER "uninstall.exe"

Name "${VEXA_PRODUCT}" "${VEXA_PRODUCT_AMP}"
; makensis warns that Windows loads its compatibility shims into a program named setup.exe. It is
; the name players look for; a caller that prefers another one names another output file.
!pragma warning disable 9000
OutFile "${VEXA_OUTFILE}"
BrandingText "${VEXA_PRODUCT_AMP} ${VEXA_VERSION}"

; ---- Install modes -------------------------------------------------------------------------------
; Highest: an administrator may choose either mode on the page; anyone else installs per user.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_INSTALLMODE_INSTDIR "${VEXA_INSTALL_NAME}"
!ifdef VEXA_X64
  !define MULTIUSER_USE_PROGRAMFILES64
!endif
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include x64.nsh

; ---- Pages ---------------------------------------------------------------------------------------
!define MUI_ABORTWARNING
!define MUI_UNABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!ifdef VEXA_ICON
  !define MUI_ICON "${VEXA_ICON}"
  !define MUI_UNICON "${VEXA_ICON}"
!endif

!insertmacro MUI_PAGE_WELCOME
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE English

; game.nsh spells "${" in texts as "$$$(VEXA_LBRACE)": the preprocessor would take "${" for one of
; its symbols however many '$' stand before it.
LangString VEXA_LBRACE ${LANG_ENGLISH} "{"

; ---- Version information of setup.exe ------------------------------------------------------------
VIProductVersion "${VEXA_VERSION}"
VIFileVersion "${VEXA_VERSION}"
!insertmacro VEXA_VERSION_INFO

; ---- Installation --------------------------------------------------------------------------------
Var VexaDirSwitch

Section "!${VEXA_PRODUCT}" SecGame
  SectionIn RO
  !insertmacro VEXA_INSTALL_FILES

  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\${VEXA_UNINSTALLER}"

  ; The shortcut's working folder is the output folder: the install folder, where the game looks
  ; for data.pak and its plug-ins.
  CreateDirectory "$SMPROGRAMS"
  CreateShortcut "$SMPROGRAMS\${VEXA_SHORTCUT_NAME}.lnk" "$INSTDIR\${VEXA_EXE}" "" \
    "$INSTDIR\${VEXA_EXE}" 0 SW_SHOWNORMAL "" "${VEXA_DESCRIPTION}"

  ; SHCTX is HKCU or HKLM after MultiUser's SetShellVarContext.
  WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "DisplayName" "${VEXA_PRODUCT}"
  WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "DisplayVersion" "${VEXA_VERSION}"
  WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "Publisher" "${VEXA_COMPANY}"
  WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "DisplayIcon" "$\"$INSTDIR\${VEXA_EXE}$\",0"
  WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "UninstallString" \
    "$\"$INSTDIR\${VEXA_UNINSTALLER}$\" /$MultiUser.InstallMode"
  WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "QuietUninstallString" \
    "$\"$INSTDIR\${VEXA_UNINSTALLER}$\" /$MultiUser.InstallMode /S"
  StrCpy $0 "${VEXA_DESCRIPTION}"
  ${If} $0 != ""
    WriteRegStr SHCTX "${VEXA_UNINSTALL_KEY}" "Comments" $0
  ${EndIf}
  ; makensis adds up the section's files (in KB) while it compiles.
  SectionGetSize ${SecGame} $0
  WriteRegDWORD SHCTX "${VEXA_UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${VEXA_UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${VEXA_UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Desktop shortcut" SecDesktop
  SetOutPath "$INSTDIR"
  CreateShortcut "$DESKTOP\${VEXA_SHORTCUT_NAME}.lnk" "$INSTDIR\${VEXA_EXE}" "" \
    "$INSTDIR\${VEXA_EXE}" 0 SW_SHOWNORMAL "" "${VEXA_DESCRIPTION}"
SectionEnd

Function .onInit
  !ifdef VEXA_X64
    ${IfNot} ${RunningX64}
      MessageBox MB_OK|MB_ICONSTOP \
        "${VEXA_PRODUCT} is a 64-bit program: it needs a 64-bit version of Windows." /SD IDOK
      SetErrorLevel 216  ; ERROR_EXE_MACHINE_TYPE_MISMATCH
      Quit
    ${EndIf}
  !endif

  ${GetParameters} $R0
  ; MultiUser.nsh refuses /AllUsers to a user who is no administrator with a message box that
  ; has no silent answer: a silent install would wait for a click forever.
  ${If} ${Silent}
    ClearErrors
    ${GetOptions} $R0 "/AllUsers" $R1
    ${IfNot} ${Errors}
      UserInfo::GetAccountType
      Pop $R1
      ${If} $R1 != "Admin"
      ${AndIf} $R1 != "Power"
        SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
        Quit
      ${EndIf}
    ${EndIf}
  ${EndIf}

  ; /D= has set $INSTDIR already, and MultiUser replaces it with its mode's default folder.
  StrCpy $VexaDirSwitch $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $VexaDirSwitch != ""
    StrCpy $INSTDIR $VexaDirSwitch
  ${EndIf}

  ; The desktop shortcut is offered (and ticked) on the components page; silently only on request.
  ${If} ${Silent}
    ClearErrors
    ${GetOptions} $R0 "/DESKTOP" $R1
    ${If} ${Errors}
      !insertmacro UnselectSection ${SecDesktop}
    ${EndIf}
  ${EndIf}
FunctionEnd

; ---- Uninstallation ------------------------------------------------------------------------------
Function un.onInit
  !insertmacro MULTIUSER_UNINIT
  ; Started without a mode switch (from the install folder rather than Apps & features): the mode
  ; whose entry names this folder. $INSTDIR is the uninstaller's own folder here.
  ${un.GetParameters} $R0
  StrCpy $R3 ""
  ClearErrors
  ${un.GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $R3 AllUsers
  ${EndIf}
  ClearErrors
  ${un.GetOptions} $R0 "/CurrentUser" $R1
  ${IfNot} ${Errors}
    StrCpy $R3 CurrentUser
  ${EndIf}
  ${If} $R3 == ""
    ReadRegStr $R1 HKLM "${VEXA_UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $R2 HKCU "${VEXA_UNINSTALL_KEY}" "InstallLocation"
    ${If} $R1 == $INSTDIR
    ${AndIf} $R2 != $INSTDIR
      ${If} $MultiUser.Privileges == "Admin"
      ${OrIf} $MultiUser.Privileges == "Power"
        Call un.MultiUser.InstallMode.AllUsers
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

!ifdef VEXA_SAVES_FOLDER
LangString VEXA_ASK_DELETE_SAVES ${LANG_ENGLISH} "Delete your saved games, high scores and \
settings of ${VEXA_PRODUCT} as well?$\n$\nIf you keep them, the game finds them again when you \
install it later."

; The player keeps a game's saved games and high scores in the user's roaming application data and
; its settings in HKCU: the current user's, whichever mode the game was installed in.
Function un.VexaOfferSaves
  ${un.GetParameters} $R0
  ClearErrors
  ${un.GetOptions} $R0 "/DELETESAVES" $R1
  IfErrors 0 delete
  MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(VEXA_ASK_DELETE_SAVES)" /SD IDNO IDYES delete
  Return
  delete:
  SetShellVarContext current
  !insertmacro VEXA_DELETE_SAVES
  ${If} $MultiUser.InstallMode == "AllUsers"
    SetShellVarContext all
  ${EndIf}
FunctionEnd
!endif

; Only what the installer put there: files of the user's own in the install folder stay, and with
; them the folders that hold them.
Section "Uninstall"
  !insertmacro VEXA_UNINSTALL_FILES
  Delete "$INSTDIR\${VEXA_UNINSTALLER}"
  Delete "$SMPROGRAMS\${VEXA_SHORTCUT_NAME}.lnk"
  Delete "$DESKTOP\${VEXA_SHORTCUT_NAME}.lnk"
  DeleteRegKey SHCTX "${VEXA_UNINSTALL_KEY}"
  RMDir "$INSTDIR"
  !ifdef VEXA_SAVES_FOLDER
    Call un.VexaOfferSaves
  !endif
SectionEnd
