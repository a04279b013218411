; Per-user installer of the Windows package, built by scripts/package-windows with
;   makensis -DBITS=<32|64> -DVERSION=<version> -DOUTFILE=<setup.exe> -DFILES=<nsh> -DLIST=<list>
;            -DSTANDIN=<stand-in dll> -DLIBCHECK=<brelo_libcheck.exe> [-DSIGN=<command signing %1>]
; FILES writes every file of the package but the device library (SetOutPath, PackageFile); LIST names
; them, UTF-16LE. Whether a VSDevNetSDK.dll can be used, and whether a file is still as installed, is
; decided by brelo_libcheck.exe, built from the program's own check and carried in $PLUGINSDIR.
; Both bitnesses use the 32-bit stub, which runs on every Windows; Unicode, for folders with Chinese names.
; Silent options: /S, /D=<folder>, /SDK=<the vendor's VSDevNetSDK.dll>. Exit codes: README.txt.
Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
; A program half written is worse than an honest stop: no "Ignore" on a file that cannot be written.
AllowSkipFiles off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include x64.nsh
!include StrFunc.nsh
${UnStrStr}

!if ${BITS} == 64
    !define OTHER_BITS 32
!else if ${BITS} == 32
    !define OTHER_BITS 64
!else
    !error "BITS must be 32 or 64"
!endif
!ifdef SIGN
    !uninstfinalize '${SIGN} "%1"'
!endif

!define PRODUCT "Brelo_Tool"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PRODUCT}"
!define SDK "VSDevNetSDK.dll"
; Where the installers before this one set a vendor library aside during an upgrade.
!define ASIDE "vendor-kept"
; What the installer wrote, with content hashes: the package's files, and the vendor's that it copied.
!define PACKAGE_MANIFEST "uninstall-package.sha256"
!define VENDOR_MANIFEST "uninstall-vendor.sha256"
!define LIBCHECK_EXE "$PLUGINSDIR\brelo_libcheck.exe"
; Exit codes besides NSIS's own 1 (cancelled by the user).
!define EXIT_REFUSED 2
!define EXIT_NOT_WRITTEN 3
!define EXIT_IN_USE 4

Name "${PRODUCT} ${VERSION} (${BITS} 位)"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A newer version, of either bitness, and a run after an interrupted one go where the last one went.
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
Var Kept       ; 1: the folder holds a vendor library (or one set aside), which stays as it is
Var Refusal    ; why the chosen or kept library cannot be used, empty when it can
Var Verdict    ; the judge's exit code: 0 usable, 1 other bitness, 2 unusable, else it failed
Var StandIn    ; 1: the judged library is the stand-in
Var JudgeText  ; the program's own text on it, empty when usable with nothing missing
Var ExitCode
Var Writing    ; the package's file being written
Var CopyFrom   ; the chosen library's folder while it goes in
Var PageText

; Says Text in the details and, in a silent run, on standard error, where a deployment tool reads it.
!macro Tell Text
    DetailPrint "${Text}"
    ${If} ${Silent}
        System::Call "kernel32::GetStdHandle(i -12) p .r9"
        FileWrite $9 "${Text}$\r$\n"
    ${EndIf}
!macroend

!macro PackageFile Source Target
    StrCpy $Writing "$INSTDIR\${Target}"
    File "${Source}"
!macroend

; Stops the install with exit code Code, saying why; a run after it completes the install.
!macro Fail Text Code
    !insertmacro Tell "${Text}"
    MessageBox MB_OK|MB_ICONSTOP "${Text}" /SD IDOK
    StrCpy $ExitCode ${Code}
    Abort
!macroend

; Reads the next line of UTF-16LE file Handle into Var without its line end or byte order mark;
; sets the error flag at the end of the file.
!macro ReadLine Handle Var
    ClearErrors
    FileReadUTF16LE ${Handle} ${Var}
    StrCpy $9 ${Var} 1 -1
    ${IfThen} $9 == "$\n" ${|} StrCpy ${Var} ${Var} -1 ${|}
    StrCpy $9 ${Var} 1 -1
    ${IfThen} $9 == "$\r" ${|} StrCpy ${Var} ${Var} -1 ${|}
    StrCpy $9 ${Var} 1
    ${IfThen} $9 == "${U+FEFF}" ${|} StrCpy ${Var} ${Var} "" 1 ${|}
!macroend

; Judges library $0 as the program would: Verdict (the judge's exit code: 0 usable, 1 other bitness,
; 2 unusable, else it failed), StandIn, and JudgeText, the program's words on it. With CopyFrom set
; (the library's folder), it puts those words in the details and copies the DLLs beside the library
; that it needs and the install folder lacks, listing them in the vendor's list $R7.
Function Judge
    StrCpy $StandIn 0
    StrCpy $JudgeText ""
    Delete "$PLUGINSDIR\verdict.txt"
    nsExec::Exec '"${LIBCHECK_EXE}" "$0" "$PLUGINSDIR\verdict.txt"'
    Pop $Verdict
    ClearErrors
    FileOpen $1 "$PLUGINSDIR\verdict.txt" r
    ${If} ${Errors}
        StrCpy $Verdict 9
        StrCpy $JudgeText "无法检查设备库 $0。Cannot check the device library $0."
        Return
    ${EndIf}
    ${Do}
        !insertmacro ReadLine $1 $2
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        StrCpy $3 $2 "" 8
        ${IfThen} $2 == "standin=$3" ${|} StrCpy $StandIn $3 ${|}
        StrCpy $3 $2 "" 5
        ${If} $2 == "text=$3"
            StrCpy $JudgeText "$JudgeText$3$\r$\n"
            ${IfThen} $CopyFrom != "" ${|} DetailPrint $3 ${|}
        ${EndIf}
        StrCpy $3 $2 "" 10
        ${If} $2 == "companion=$3"
        ${AndIf} $CopyFrom != ""
        ${AndIfNot} ${FileExists} "$INSTDIR\$3"
            ClearErrors
            CopyFiles /SILENT "$CopyFrom\$3" "$INSTDIR\$3"
            ${IfThen} ${Errors} ${|} !insertmacro Fail "无法复制 $CopyFrom\$3。Cannot copy $CopyFrom\$3." ${EXIT_NOT_WRITTEN} ${|}
            FileWriteUTF16LE $R7 "$3$\r$\n"
            DetailPrint "已复制设备库依赖的 $3。"
        ${EndIf}
    ${Loop}
    FileClose $1
FunctionEnd

; Refusal says why the chosen library $SdkPath cannot be used, empty when it can.
Function JudgeChosen
    StrCpy $0 $SdkPath
    Call Judge
    StrCpy $Refusal ""
    ${IfThen} $Verdict != 0 ${|} StrCpy $Refusal $JudgeText ${|}
FunctionEnd

; Kept = 1 when the folder holds a vendor library, in place or set aside by an older installer;
; Refusal says why the program cannot be installed beside it: it is of the other bitness.
Function JudgeKept
    StrCpy $Kept 0
    StrCpy $Refusal ""
    StrCpy $0 "$INSTDIR\${SDK}"
    ${If} ${FileExists} $0
        Call Judge
        ${IfThen} $StandIn != 1 ${|} StrCpy $Kept 1 ${|}
    ${EndIf}
    StrCpy $0 "$INSTDIR\${ASIDE}\${SDK}"
    ${If} $Kept = 0
    ${AndIf} ${FileExists} $0
        Call Judge
        StrCpy $Kept 1
    ${EndIf}
    ${If} $Kept = 1
    ${AndIf} $Verdict != 0
    ${AndIf} $Verdict != 2
        StrCpy $Refusal "$JudgeText$\r$\n安装文件夹里已有这个设备库, 安装程序不会替换它: 请选择 ${BITS} 位的设备库, 或者改用 Brelo_Tool 的 ${OTHER_BITS} 位版本 (win${OTHER_BITS}) 的安装程序。没有做任何更改。$\r$\nThe install folder holds this library, which the installer keeps: choose a ${BITS}-bit library or use the win${OTHER_BITS} installer. Nothing was changed."
    ${EndIf}
FunctionEnd

!macro Refuse Text
    !insertmacro Tell "${Text}"
    MessageBox MB_OK|MB_ICONSTOP "${Text}" /SD IDOK
    SetErrorLevel ${EXIT_REFUSED}
    Quit
!macroend

Function .onInit
    !if ${BITS} == 64
        ${IfNot} ${RunningX64}
            !insertmacro Refuse "这是 64 位的 Brelo_Tool, 不能安装在 32 位的 Windows 上。请改用 Brelo_Tool 的 32 位版本 (win32) 的安装程序。$\r$\n$\r$\nThis is the 64-bit Brelo_Tool, which does not run on 32-bit Windows. Use the 32-bit package (win32) instead."
        ${EndIf}
    !endif
    StrCpy $ExitCode ${EXIT_NOT_WRITTEN}
    InitPluginsDir
    File "/oname=${LIBCHECK_EXE}" "${LIBCHECK}"
    File "/oname=$PLUGINSDIR\package.lst" "${LIST}"
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/SDK=" $SdkPath
    ${If} $SdkPath != ""
        GetFullPathName $SdkPath $SdkPath
        Call JudgeChosen
    ${Else}
        Call JudgeKept
    ${EndIf}
    ${If} ${Silent}
    ${AndIf} $Refusal != ""
        !insertmacro Refuse "$Refusal$\r$\n什么都没有安装。Nothing was installed."
    ${EndIf}
FunctionEnd

Function .onInstFailed
    ${If} $Writing != ""
        !insertmacro Tell "无法写入 $Writing, 安装没有完成, 请再运行一次安装程序。Cannot write $Writing: run the installer again to complete the install."
    ${EndIf}
    SetErrorLevel $ExitCode
FunctionEnd

Function SdkPageBrowse
    Pop $R0
    nsDialogs::SelectFileDialog open $SdkPath "${SDK}|${SDK}|DLL (*.dll)|*.dll"
    Pop $R0
    ${IfThen} $R0 != "" ${|} ${NSD_SetText} $PageText $R0 ${|}
FunctionEnd

Function SdkPageShow
    !insertmacro MUI_HEADER_TEXT "设备厂商的设备库" "选择设备厂商提供的 ${SDK} (${BITS} 位), 也可以不选"
    nsDialogs::Create 1018
    Pop $R0
    ${NSD_CreateLabel} 0 0 100% 32u "Brelo_Tool 通过设备库 ${SDK} 搜索和配置设备。安装包自带的是替身, 只与设备模拟器 devsim 通信。要管理真实的设备, 请选择设备厂商提供的 ${SDK}: 安装程序把它连同同一文件夹里它所依赖的 DLL 一起复制到安装文件夹。"
    Pop $R0
    ${NSD_CreateLabel} 0 34u 100% 22u "本安装程序安装的是 ${BITS} 位的 Brelo_Tool, 只能使用 ${BITS} 位的设备库; ${OTHER_BITS} 位的设备库要用 Brelo_Tool 的 ${OTHER_BITS} 位版本 (win${OTHER_BITS})。选中的设备库能不能用, 安装程序会检查并告诉你。"
    Pop $R0
    Call JudgeKept
    ${If} $Refusal != ""
        StrCpy $R1 "安装文件夹里已有的 ${SDK} 不是 ${BITS} 位的: 请选择 ${BITS} 位的设备库, 或者改用 ${OTHER_BITS} 位版本的安装程序。"
    ${ElseIf} $Kept = 1
        StrCpy $R1 "安装文件夹里已有设备厂商的 ${SDK}。不选设备库, 安装时保留它, 不作任何改动。"
    ${Else}
        StrCpy $R1 "不选设备库, 就安装替身。以后也可以把设备厂商的 ${SDK} 放到安装文件夹, 即 brelo_tool.exe 所在的文件夹。"
    ${EndIf}
    ${NSD_CreateLabel} 0 58u 100% 22u $R1
    Pop $R0
    ${NSD_CreateText} 0 84u 80% 12u $SdkPath
    Pop $PageText
    ${NSD_CreateBrowseButton} 82% 83u 18% 14u "浏览(&B)..."
    Pop $R0
    ${NSD_OnClick} $R0 SdkPageBrowse
    ${NSD_CreateLabel} 0 106u 100% 24u "Optional: the device vendor's ${SDK} (${BITS}-bit). Without one the installer keeps a vendor library already in the folder, or installs the stand-in that talks only to the simulator devsim."
    Pop $R0
    nsDialogs::Show
FunctionEnd

Function SdkPageLeave
    ${NSD_GetText} $PageText $SdkPath
    ${If} $SdkPath != ""
        GetFullPathName $SdkPath $SdkPath
        ${If} $SdkPath == ""
        ${OrIfNot} ${FileExists} $SdkPath
            MessageBox MB_OK|MB_ICONEXCLAMATION "找不到这个文件。$\r$\n$\r$\nNo such file."
            Abort
        ${EndIf}
        Call JudgeChosen
    ${Else}
        Call JudgeKept
    ${EndIf}
    ${If} $Refusal != ""
        MessageBox MB_OK|MB_ICONSTOP $Refusal
        Abort
    ${EndIf}
FunctionEnd

; Waits until the file on the stack, if it exists, can be written: a running Brelo_Tool holds its
; program and DLLs. Cancelling stops the install before anything changed.
Function WaitWritable
    Exch $R1
    ${DoWhile} ${FileExists} $R1
        ClearErrors
        FileOpen $R2 $R1 a
        ${IfNot} ${Errors}
            FileClose $R2
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "无法写入 $R1, 它正在被使用。请关闭 Brelo_Tool 和 devsim, 然后点击$\"重试$\"。$\r$\n$\r$\n$R1 is in use. Close Brelo_Tool and devsim, then click Retry." /SD IDCANCEL IDRETRY retry
        !insertmacro Fail "$R1 正在被使用, 没有做任何更改。$R1 is in use; nothing was changed." ${EXIT_IN_USE}
        retry:
    ${Loop}
    Pop $R1
FunctionEnd

; What an older installer's interrupted upgrade set aside in folder $R1 goes back in place, over
; nothing but the stand-in.
Function RestoreAside
    FindFirst $R2 $R3 "$R1\${ASIDE}\*"
    ${DoWhile} $R3 != ""
        ${IfNot} ${FileExists} "$R1\${ASIDE}\$R3\*.*"
            StrCpy $0 "$R1\$R3"
            ${If} $R3 == ${SDK}
            ${AndIf} ${FileExists} $0
                Call Judge
                ${IfThen} $StandIn == 1 ${|} Delete $0 ${|}
            ${EndIf}
            ClearErrors
            ${IfNot} ${FileExists} $0
                Rename "$R1\${ASIDE}\$R3" $0
            ${EndIf}
            ${If} ${Errors}
            ${OrIf} ${FileExists} "$R1\${ASIDE}\$R3"
                DetailPrint "$R1\$R3 已存在, 以前的安装程序留下的 $R1\${ASIDE}\$R3 没有动。"
            ${Else}
                DetailPrint "已把以前的安装程序放在 $R1\${ASIDE} 里的 $R3 放回原处。"
            ${EndIf}
        ${EndIf}
        FindNext $R2 $R3
    ${Loop}
    FindClose $R2
    RMDir "$R1\${ASIDE}"
FunctionEnd

; Runs the judge on manifest $R0 of the folder into $PLUGINSDIR\unchanged.txt and opens it as $R1;
; $R1 is empty when there is no manifest or the judge failed.
!macro OPEN_UNCHANGED un
Function ${un}OpenUnchanged
    StrCpy $R1 ""
    ${IfNot} ${FileExists} "$INSTDIR\$R0"
        Return
    ${EndIf}
    nsExec::Exec '"${LIBCHECK_EXE}" --unchanged "$INSTDIR" "$INSTDIR\$R0" "$PLUGINSDIR\unchanged.txt"'
    Pop $R1
    ${If} $R1 == 0
        FileOpen $R1 "$PLUGINSDIR\unchanged.txt" r
    ${Else}
        StrCpy $R1 ""
        DetailPrint "无法检查 $INSTDIR\$R0 所列的文件, 都没有动。Cannot check the files $R0 lists; all stay."
    ${EndIf}
FunctionEnd
!macroend
!insertmacro OPEN_UNCHANGED ""
!insertmacro OPEN_UNCHANGED "un."

; $R4 = 1 when this package ships file $R3.
Function Shipped
    StrCpy $R4 0
    FileOpen $R5 "$PLUGINSDIR\package.lst" r
    ${Do}
        !insertmacro ReadLine $R5 $R6
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        ${IfThen} $R6 == $R3 ${|} StrCpy $R4 1 ${|}
    ${Loop}
    FileClose $R5
FunctionEnd

; Goes through old manifest $R0. The package's: files of the older version that this one no longer
; ships go, when still as installed. The vendor's: files still as an installer copied them are
; listed again in $R7, but for a library that a newly chosen one replaced.
Function Tidy
    Call OpenUnchanged
    ${IfThen} $R1 == "" ${|} Return ${|}
    ${Do}
        !insertmacro ReadLine $R1 $R2
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        StrCpy $R3 $R2 "" 5
        ${IfThen} $R2 != "same=$R3" ${|} ${Continue} ${|}
        ${If} $R3 == ${SDK}
            ${If} $R0 == ${PACKAGE_MANIFEST}
            ${OrIf} $SdkPath != ""
                ${Continue}
            ${EndIf}
        ${EndIf}
        ${If} $R0 == ${VENDOR_MANIFEST}
            FileWriteUTF16LE $R7 "$R3$\r$\n"
            ${Continue}
        ${EndIf}
        Call Shipped
        ${If} $R4 = 0
            Delete "$INSTDIR\$R3"
            ${GetParent} "$INSTDIR\$R3" $R4
            RMDir $R4
            DetailPrint "删除了旧版本的 $R3。"
        ${EndIf}
    ${Loop}
    FileClose $R1
FunctionEnd

; Records the files listed in $PLUGINSDIR\$R0 with their content hashes in manifest $R1.
Function Record
    nsExec::Exec '"${LIBCHECK_EXE}" --record "$INSTDIR" "$PLUGINSDIR\$R0" "$INSTDIR\$R1"'
    Pop $R2
    ${If} $R2 != 0
        !insertmacro Fail "无法记录已安装的文件 ($INSTDIR\$R1)。Cannot record the installed files." ${EXIT_NOT_WRITTEN}
    ${EndIf}
FunctionEnd

Section "Install"
    SetShellVarContext current
    ; Nothing changes until every file to be replaced can be written.
    FileOpen $R0 "$PLUGINSDIR\package.lst" r
    ${Do}
        !insertmacro ReadLine $R0 $R1
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        Push "$INSTDIR\$R1"
        Call WaitWritable
    ${Loop}
    FileClose $R0
    ${If} $SdkPath != ""
    ${OrIf} $Kept = 0
        Push "$INSTDIR\${SDK}"
        Call WaitWritable
    ${EndIf}
    ${If} $SdkPath != ""
        ClearErrors
        CopyFiles /SILENT $SdkPath "$PLUGINSDIR\${SDK}"
        ${IfThen} ${Errors} ${|} !insertmacro Fail "无法读取 $SdkPath。Cannot read $SdkPath." ${EXIT_REFUSED} ${|}
    ${EndIf}

    ; Where it installs, before any file: a run after an interruption goes to the same folder.
    ReadRegStr $R1 HKCU "${SETTINGS_KEY}" "InstallDir"
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

    ${If} $R1 != ""
    ${AndIf} $R1 != $INSTDIR
        Call RestoreAside
    ${EndIf}
    StrCpy $R1 $INSTDIR
    Call RestoreAside

    !include "${FILES}"
    StrCpy $Writing ""
    SetOutPath "$INSTDIR"

    ; The library last, so that the one in the folder is replaced only once the program is in.
    FileOpen $R7 "$PLUGINSDIR\vendor.lst" w
    FileWriteWord $R7 0xFEFF
    ${If} $SdkPath != ""
        StrCpy $0 $SdkPath
        ${GetParent} $SdkPath $CopyFrom
        Call Judge
        ClearErrors
        CopyFiles /SILENT "$PLUGINSDIR\${SDK}" "$INSTDIR\${SDK}"
        ${IfThen} ${Errors} ${|} !insertmacro Fail "无法复制 $SdkPath。Cannot copy $SdkPath." ${EXIT_NOT_WRITTEN} ${|}
        FileWriteUTF16LE $R7 "${SDK}$\r$\n"
        DetailPrint "已装入设备厂商的设备库 $SdkPath。"
    ${ElseIf} $Kept = 1
        StrCpy $0 "$INSTDIR\${SDK}"
        StrCpy $CopyFrom $INSTDIR
        Call Judge
        DetailPrint "保留了安装文件夹里设备厂商的 ${SDK}, 没有动它。"
    ${Else}
        File "/oname=${SDK}" "${STANDIN}"
        DetailPrint "安装了替身设备库 ${SDK}, 它只与设备模拟器 devsim 通信。"
        FileOpen $R0 "$PLUGINSDIR\package.lst" a
        FileSeek $R0 0 END
        FileWriteUTF16LE $R0 "${SDK}$\r$\n"
        FileClose $R0
    ${EndIf}
    StrCpy $R0 ${PACKAGE_MANIFEST}
    Call Tidy
    StrCpy $R0 ${VENDOR_MANIFEST}
    Call Tidy
    FileClose $R7
    StrCpy $R0 package.lst
    StrCpy $R1 ${PACKAGE_MANIFEST}
    Call Record
    StrCpy $R0 vendor.lst
    StrCpy $R1 ${VENDOR_MANIFEST}
    Call Record

    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\brelo_tool.exe"
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

; Deletes the files that manifest $R0 lists while their content is as installed; says which stay.
Function un.RemoveUnchanged
    Call un.OpenUnchanged
    ${IfThen} $R1 == "" ${|} Return ${|}
    ${Do}
        !insertmacro ReadLine $R1 $R2
        ${IfThen} ${Errors} ${|} ${Break} ${|}
        StrCpy $R3 $R2 "" 5
        ${If} $R2 == "same=$R3"
            ClearErrors
            Delete "$INSTDIR\$R3"
            ${IfThen} ${Errors} ${|} DetailPrint "无法删除 $R3。Cannot delete $R3." ${|}
            ${GetParent} "$INSTDIR\$R3" $R4
            RMDir $R4
        ${ElseIf} $R2 != "gone=$R3"
            StrCpy $R3 $R2 "" 8
            ${IfThen} $R3 == ${SDK} ${|} StrCpy $Kept 1 ${|}
            DetailPrint "保留了 $R3: 安装之后它被改过或者换过。Kept $R3: it changed after the install."
        ${EndIf}
    ${Loop}
    FileClose $R1
    Delete "$INSTDIR\$R0"
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
            ClearErrors
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
    StrCpy $Kept 0
    StrCpy $R0 ${PACKAGE_MANIFEST}
    Call un.RemoveUnchanged
    StrCpy $R0 ${VENDOR_MANIFEST}
    Call un.RemoveUnchanged
    ${If} $Kept = 0
    ${AndIf} ${FileExists} "$INSTDIR\${SDK}"
        DetailPrint "保留了设备厂商的 ${SDK}: 它不是安装程序放进来的。Kept the vendor's ${SDK}: the installer did not put it there."
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    ${If} ${FileExists} "$INSTDIR\*.*"
        DetailPrint "保留了文件夹 $INSTDIR 和其中不是安装程序放进来的或者改过的文件。Kept $INSTDIR with the files the installer did not put there or that changed."
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd
