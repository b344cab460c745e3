; Included by the installer that CPack makes (cmake/windows-packaging.cmake):
; puts the installed folder on the system's search path, so that
; valmora-ctl is found from any console, and takes it off again when the
; program is uninstalled. An NSIS string holds at most 1024 characters, so a
; search path that might not fit is left exactly as it is (the installer's
; details say so) rather than written back cut short.

!include "WinMessages.nsh"

!define VALMORA_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define VALMORA_LONGEST_PATH 1000

Function ValmoraAddToPath
  ClearErrors
  ReadRegStr $0 HKLM "${VALMORA_ENVIRONMENT}" "Path"
  IfErrors valmora_path_unread
  ; Already there, with or without a backslash at the end.
  Push "$0;"
  Push "$INSTDIR;"
  Call StrStr
  Pop $1
  StrCmp $1 "" 0 valmora_path_done
  Push "$0;"
  Push "$INSTDIR\;"
  Call StrStr
  Pop $1
  StrCmp $1 "" 0 valmora_path_done

  StrLen $1 "$0;$INSTDIR"
  IntCmp $1 ${VALMORA_LONGEST_PATH} valmora_path_long 0 valmora_path_long
  StrCpy $1 $0 1 -1
  StrCmp $1 ";" 0 +3
    StrCpy $0 "$0$INSTDIR"
    Goto +2
    StrCpy $0 "$0;$INSTDIR"
  WriteRegExpandStr HKLM "${VALMORA_ENVIRONMENT}" "Path" $0
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  DetailPrint "PATH: added $INSTDIR"
  Goto valmora_path_done

  valmora_path_long:
    DetailPrint "PATH is too long to be changed here: add $INSTDIR yourself"
    Goto valmora_path_done
  valmora_path_unread:
    DetailPrint "PATH could not be read: add $INSTDIR yourself"
  valmora_path_done:
FunctionEnd

; $0 the search path, $1 what is kept of it, $2 the entry being read,
; $3 the position, $4 a character, $5 whether anything was taken off,
; $6 whether an entry was kept yet.
Function un.ValmoraRemoveFromPath
  ClearErrors
  ReadRegStr $0 HKLM "${VALMORA_ENVIRONMENT}" "Path"
  IfErrors valmora_unpath_done
  StrCpy $1 ""
  StrCpy $2 ""
  StrCpy $3 0
  StrCpy $5 0
  StrCpy $6 0
  valmora_unpath_loop:
    StrCpy $4 $0 1 $3
    StrCmp $4 ";" valmora_unpath_entry
    StrCmp $4 "" valmora_unpath_entry
    StrCpy $2 "$2$4"
    IntOp $3 $3 + 1
    Goto valmora_unpath_loop
  valmora_unpath_entry:
    ; StrCmp ignores the letters' case, as Windows does in paths.
    StrCmp $2 "$INSTDIR" valmora_unpath_drop
    StrCmp $2 "$INSTDIR\" valmora_unpath_drop
    StrCmp $6 1 0 +3
      StrCpy $1 "$1;$2"
      Goto +2
      StrCpy $1 $2
    StrCpy $6 1
    Goto valmora_unpath_next
  valmora_unpath_drop:
    StrCpy $5 1
  valmora_unpath_next:
    StrCpy $2 ""
    IntOp $3 $3 + 1
    StrCmp $4 "" 0 valmora_unpath_loop
  StrCmp $5 1 0 valmora_unpath_done
  WriteRegExpandStr HKLM "${VALMORA_ENVIRONMENT}" "Path" $1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  valmora_unpath_done:
FunctionEnd
