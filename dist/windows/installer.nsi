; Per-user installer of the Windows package, built by scripts/package-windows with
;   makensis -DBITS=<32|64> -DVERSION=<version> -DOUTFILE=<setup.exe> -DPAYLOAD=<package folder>
;            -DLIBCHECK=<brelo_libcheck.exe> -DEXITCODES=<setup-exit-codes.nsh> [-DSIGN=<command signing %1>]
; PAYLOAD is the package's folder, the stand-in VSDevNetSDK.dll among its files. Which file goes where,
; what stays, what is recorded and the exit codes are brelo_libcheck.exe's (tools/libcheck/placer.cpp);
; this script keeps the pages, the registry, the shortcut and the uninstaller. The exit codes come from
; placer.h through EXITCODES, which CMake writes into the build folder.
; Both bitnesses use the 32-bit stub, which runs on every Windows; Unicode, for folders with Chinese names.
; Silent options: /S, /D=<folder>, /SDK=<the vendor's VSDevNetSDK.dll>. Exit codes: README.txt.
Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include x64.nsh
!include StrFunc.nsh
${StrStr}
${StrLoc}
${UnStrStr}

!if ${BITS} == 64
    !define OTHER_BITS 32
!else if ${BITS} == 32
    !define OTHER_BITS 64
!else
    !error "BITS must be 32 or 64"
!endif
!ifdef SIGN
    !uninstfinalize '${SIGN} "%1"' = 0
!endif

!define PRODUCT "Brelo_Tool"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PRODUCT}"
!define SDK "VSDevNetSDK.dll"
!define LIBCHECK_EXE "$PLUGINSDIR\brelo_libcheck.exe"
!define MESSAGES "$PLUGINSDIR\messages.txt"
!include "${EXITCODES}"

Name "${PRODUCT} ${VERSION} (${BITS} 位)"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${SETTINGS_KEY}" "InstallDir"
ShowInstDetails show
BrandingText "${PRODUCT} ${VERSION} (${BITS} 位)"
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${BITS} 位安装程序 (win${BITS} setup)"
VIAddVersionKey "LegalCopyright" "${PRODUCT} developers"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_DIRECTORY
Page custom SdkPageShow SdkPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Var SdkPath    ; the vendor library chosen on the page or with /SDK=, empty for none
Var ExitCode   ; what setup exits with when the install stops
Var Said       ; the placer's words from its last run, a line each
Var PageText

; Tell and Place for the installer and the uninstaller alike.
!macro PLACER un
; Puts the text on the stack in the details and, in a silent run, on standard error, where a deployment
; tool reads it: UTF-16 to a console, whatever its code page, UTF-8 to a pipe or a file.
Function ${un}Tell
    Exch $0
    Push $1
    Push $2
    Push $3
    Push $4
    DetailPrint $0
    ${If} ${Silent}
        StrCpy $0 "$0$\r$\n"
        StrLen $2 $0
        System::Call "kernel32::GetStdHandle(i -12) p .r1"
        System::Call "kernel32::GetConsoleMode(p r1, *i .r4) i .r3"
        ${If} $3 <> 0
            System::Call "kernel32::WriteConsoleW(p r1, w r0, i r2, *i .r3, p 0)"
        ${Else}
            System::Call "kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i r2, p 0, i 0, p 0, p 0) i .r3"
            System::Alloc $3
            Pop $4
            System::Call "kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i r2, p r4, i r3, p 0, p 0) i .r3"
            System::Call "kernel32::WriteFile(p r1, p r4, i r3, *i .r2, p 0)"
            System::Free $4
        ${EndIf}
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Runs brelo_libcheck.exe with the arguments on the stack; leaves its exit code there and its words,
; each told, in Said.
Function ${un}Place
    Exch $0
    Push $1
    Push $2
    Push $3
    Delete "${MESSAGES}"
    nsExec::Exec '"${LIBCHECK_EXE}" $0'
    Pop $0
    ; Only setup's own codes go on: one that did not start or ended otherwise did not place its files.
    ${If} $0 != ${EXIT_DONE}
    ${AndIf} $0 != ${EXIT_REFUSED}
    ${AndIf} $0 != ${EXIT_INUSE}
        StrCpy $0 ${EXIT_NOTWRITTEN}
    ${EndIf}
    StrCpy $Said ""
    ClearErrors
    FileOpen $1 "${MESSAGES}" r
    ${Do}
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        FileReadUTF16LE $1 $2
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        StrCpy $3 $2 1
        ${IfThen} $3 == "${U+FEFF}" ${|} StrCpy $2 $2 "" 1 ${|}
        StrCpy $3 $2 2 -2
        ${IfThen} $3 == "$\r$\n" ${|} StrCpy $2 $2 -2 ${|}
        StrCpy $Said "$Said$2$\r$\n"
        Push $2
        Call ${un}Tell
    ${Loop}
    FileClose $1
    ${If} $Said == ""
    ${AndIf} $0 != ${EXIT_DONE}
        StrCpy $Said "brelo_libcheck.exe 没有完成 (退出代码 $0)。brelo_libcheck.exe did not finish (exit code $0)."
        Push $Said
        Call ${un}Tell
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd
!macroend
!insertmacro PLACER ""
!insertmacro PLACER "un."

!macro Refuse Text
    Push "${Text}"
    Call Tell
    MessageBox MB_OK|MB_ICONSTOP "${Text}" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
!macroend

; Stops the install with exit code Code after a step of setup's own.
!macro Fail Text Code
    Push "${Text}"
    Call Tell
    MessageBox MB_OK|MB_ICONSTOP "${Text}" /SD IDOK
    StrCpy $ExitCode ${Code}
    Abort
!macroend

; SdkPath = the value of /SDK= in the parameters on the stack, whole: quoted, or up to the next " /",
; since a path may hold "/".
Function SdkOption
    Exch $0
    ${StrStr} $0 " $0" " /SDK="
    ${If} $0 != ""
        StrCpy $SdkPath $0 "" 6
        StrCpy $0 $SdkPath 1
        ${If} $0 == '"'
            StrCpy $SdkPath $SdkPath "" 1
            ${StrLoc} $0 $SdkPath '"' ">"
        ${Else}
            ${StrLoc} $0 $SdkPath " /" ">"
        ${EndIf}
        ${IfThen} $0 != "" ${|} StrCpy $SdkPath $SdkPath $0 ${|}
        ; Relative to where setup started; a missing file keeps its name, for the refusal.
        GetFullPathName $0 $SdkPath
        ${IfThen} $0 != "" ${|} StrCpy $SdkPath $0 ${|}
    ${EndIf}
    Pop $0
FunctionEnd

Function .onInit
    !if ${BITS} == 64
        ${IfNot} ${RunningX64}
            !insertmacro Refuse "这是 64 位的 Brelo_Tool, 不能安装在 32 位的 Windows 上。请改用 Brelo_Tool 的 32 位版本 (win32) 的安装程序。$\r$\n$\r$\nThis is the 64-bit Brelo_Tool, which does not run on 32-bit Windows. Use the 32-bit package (win32) instead."
        ${EndIf}
    !endif
    StrCpy $ExitCode ${EXIT_NOTWRITTEN}
    ; NSIS replaces a /D= folder it cannot use by the registry's or the default one; the folder asked
    ; for, from the command line as given, goes to the placer, which refuses it.
    System::Call "kernel32::GetCommandLineW() w .r0"
    ${StrStr} $0 $0 " /D="
    ${IfThen} $0 != "" ${|} StrCpy $INSTDIR $0 "" 4 ${|}
    ; "C:\Tools\Brelo\" as users type it: its last backslash would escape the quote after it.
    StrCpy $0 $INSTDIR "" -1
    ${If} $0 == "\"
        StrLen $0 $INSTDIR
        ${If} $0 > 3
            StrCpy $INSTDIR $INSTDIR -1
        ${Else}
            StrCpy $INSTDIR "$INSTDIR."
        ${EndIf}
    ${EndIf}
    ${GetParameters} $0
    Push $0
    Call SdkOption
    InitPluginsDir
    File "/oname=${LIBCHECK_EXE}" "${LIBCHECK}"
FunctionEnd

Function .onInstFailed
    SetErrorLevel $ExitCode
FunctionEnd

Function SdkPageBrowse
    Pop $0
    nsDialogs::SelectFileDialog open $SdkPath "${SDK}|${SDK}|DLL (*.dll)|*.dll"
    Pop $0
    ${IfThen} $0 != "" ${|} ${NSD_SetText} $PageText $0 ${|}
FunctionEnd

Function SdkPageShow
    !insertmacro MUI_HEADER_TEXT "设备厂商的设备库" "选择设备厂商提供的 ${SDK} (${BITS} 位), 也可以不选"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 32u "Brelo_Tool 通过设备库 ${SDK} 搜索和配置设备。安装包自带的是替身, 只与设备模拟器 devsim 通信。要管理真实的设备, 请选择设备厂商提供的 ${SDK}: 安装程序把它连同同一文件夹里它所依赖的 DLL 一起复制到安装文件夹。"
    Pop $0
    ${NSD_CreateLabel} 0 34u 100% 22u "本安装程序安装的是 ${BITS} 位的 Brelo_Tool, 只能使用 ${BITS} 位的设备库; ${OTHER_BITS} 位的设备库要用 Brelo_Tool 的 ${OTHER_BITS} 位版本 (win${OTHER_BITS})。选中的设备库能不能用, 安装程序会检查并告诉你。"
    Pop $0
    ${NSD_CreateLabel} 0 58u 100% 22u "不选设备库: 安装文件夹里已有设备厂商的 ${SDK} 时保留它, 不作任何改动; 否则安装替身。以后也可以把设备厂商的 ${SDK} 放到 brelo_tool.exe 所在的文件夹。"
    Pop $0
    ${NSD_CreateText} 0 84u 80% 12u $SdkPath
    Pop $PageText
    ${NSD_CreateBrowseButton} 82% 83u 18% 14u "浏览(&B)..."
    Pop $0
    ${NSD_OnClick} $0 SdkPageBrowse
    ${NSD_CreateLabel} 0 106u 100% 24u "Optional: the device vendor's ${SDK} (${BITS}-bit). Without one the installer keeps a vendor library already in the folder, or installs the stand-in that talks only to the simulator devsim."
    Pop $0
    nsDialogs::Show
FunctionEnd

; The library and the folder judged before the install starts, as the install will judge them.
Function SdkPageLeave
    ${NSD_GetText} $PageText $SdkPath
    Push '--check "$INSTDIR" "${MESSAGES}" --sdk "$SdkPath"'
    Call Place
    Pop $0
    ${If} $0 != 0
        MessageBox MB_OK|MB_ICONSTOP $Said
        Abort
    ${EndIf}
FunctionEnd

Section "Install"
    SetShellVarContext current
    SetOutPath "$PLUGINSDIR\payload"
    File /r "${PAYLOAD}/*"
    SetOutPath $PLUGINSDIR
    ; What the installers before the manifests recorded of the vendor's files, for this folder only.
    StrCpy $1 ""
    StrCpy $2 ""
    StrCpy $3 ""
    ReadRegStr $0 HKCU "${SETTINGS_KEY}" "InstallDir"
    ${If} $0 == $INSTDIR
        ReadRegDWORD $1 HKCU "${SETTINGS_KEY}" "VendorDll"
        ReadRegDWORD $2 HKCU "${SETTINGS_KEY}" "VendorDllSize"
        ReadRegStr $3 HKCU "${SETTINGS_KEY}" "VendorCompanions"
    ${EndIf}
    ${Do}
        Push '--place "$PLUGINSDIR\payload" "$INSTDIR" "${MESSAGES}" --sdk "$SdkPath" --previous "$1" "$2" "$3"'
        Call Place
        Pop $ExitCode
        ${If} $ExitCode != ${EXIT_INUSE}
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$Said$\r$\n请关闭 Brelo_Tool 和 devsim, 然后点击$\"重试$\"。Close Brelo_Tool and devsim, then click Retry." /SD IDCANCEL IDRETRY retry
        ${Break}
        retry:
    ${Loop}
    ${If} $ExitCode != 0
        MessageBox MB_OK|MB_ICONSTOP $Said /SD IDOK
        Abort
    ${EndIf}

    ClearErrors
    WriteUninstaller "$INSTDIR\uninstall.exe"
    ${IfThen} ${Errors} ${|} !insertmacro Fail "无法写入 $INSTDIR\uninstall.exe。Cannot write the uninstaller." ${EXIT_NOTWRITTEN} ${|}
    ; The registry names a folder only once the program is in there.
    WriteRegStr HKCU "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${BITS} 位)"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT} developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brelo_tool.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${IfThen} ${Errors} ${|} !insertmacro Fail "无法写入注册表 HKCU\${UNINSTALL_KEY}。Cannot write the registry." ${EXIT_NOTWRITTEN} ${|}
    ; Their record is in the manifest now.
    DeleteRegValue HKCU "${SETTINGS_KEY}" "VendorDll"
    DeleteRegValue HKCU "${SETTINGS_KEY}" "VendorDllSize"
    DeleteRegValue HKCU "${SETTINGS_KEY}" "VendorCompanions"
    ClearErrors
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\brelo_tool.exe"
    ${IfThen} ${Errors} ${|} !insertmacro Fail "无法创建快捷方式 $SMPROGRAMS\${PRODUCT}.lnk。Cannot create the shortcut." ${EXIT_NOTWRITTEN} ${|}
SectionEnd

; Pushes 1 when a firewall rule named Brelo_Tool exists. "show rule" needs no administrator and
; exits 0 naming the rule when there is one; a netsh without advfirewall (Wine's) exits 0 and prints
; nothing, so the name in its output decides, not the localised rest.
Function un.FirewallRuleExists
    nsExec::ExecToStack '"$SYSDIR\netsh.exe" advfirewall firewall show rule name=${PRODUCT}'
    Pop $0
    Pop $1
    StrCpy $2 ""
    ${If} $0 == 0
        ${UnStrStr} $2 $1 "${PRODUCT}"
    ${EndIf}
    ${If} $2 != ""
        Push 1
    ${Else}
        Push 0
    ${EndIf}
FunctionEnd

Section "Uninstall"
    SetShellVarContext current
    ; A rule that allow-firewall.cmd added would outlive the program unnoticed once remove-firewall.cmd
    ; is gone.
    ${IfNot} ${Silent}
        Call un.FirewallRuleExists
        Pop $0
        ${If} $0 == 1
            MessageBox MB_YESNO|MB_ICONQUESTION "Windows 防火墙里有 ${PRODUCT} 的放行规则。要删除它吗? (Windows 会请求管理员许可)$\r$\n$\r$\nWindows Firewall holds a ${PRODUCT} rule. Remove it? (Windows asks for administrator consent)" /SD IDNO IDNO firewall_done
            ExecShellWait "runas" "$SYSDIR\netsh.exe" 'advfirewall firewall delete rule name=${PRODUCT} program="$INSTDIR\brelo_tool.exe"' SW_HIDE
            Call un.FirewallRuleExists
            Pop $0
            ${If} $0 == 1
                DetailPrint "防火墙规则 ${PRODUCT} 仍在; 请以管理员身份运行: netsh advfirewall firewall delete rule name=${PRODUCT}"
            ${EndIf}
        ${EndIf}
        firewall_done:
    ${EndIf}
    InitPluginsDir
    File "/oname=${LIBCHECK_EXE}" "${LIBCHECK}"
    ${Do}
        Push '--remove "$INSTDIR" "${MESSAGES}"'
        Call un.Place
        Pop $ExitCode
        ${If} $ExitCode != ${EXIT_INUSE}
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$Said$\r$\n请关闭 Brelo_Tool 和 devsim, 然后点击$\"重试$\"。Close Brelo_Tool and devsim, then click Retry." /SD IDCANCEL IDRETRY unretry
        ${Break}
        unretry:
    ${Loop}
    ; The uninstaller, the keys and the shortcut stay while the record names files still there, so
    ; that a new run can finish.
    ${If} $ExitCode != ${EXIT_DONE}
        MessageBox MB_OK|MB_ICONSTOP $Said /SD IDOK
        SetErrorLevel $ExitCode
        Quit
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\*.*"
        DetailPrint "保留了文件夹 $INSTDIR 和其中不是安装程序放进来的或者改过的文件。Kept $INSTDIR with the files the installer did not put there or that changed."
    ${EndIf}
    ; The keys and the shortcut may belong to an install in another folder by now.
    ReadRegStr $0 HKCU "${SETTINGS_KEY}" "InstallDir"
    ${If} $0 == $INSTDIR
    ${OrIf} $0 == ""
        Delete "$SMPROGRAMS\${PRODUCT}.lnk"
        DeleteRegKey HKCU "${SETTINGS_KEY}"
    ${EndIf}
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${IfThen} $0 == $INSTDIR ${|} DeleteRegKey HKCU "${UNINSTALL_KEY}" ${|}
    SetErrorLevel $ExitCode
SectionEnd
