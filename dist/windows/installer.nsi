; Per-user installer of the Windows package, built by scripts/package-windows with
;   makensis -DBITS=<32|64> -DVERSION=<version> -DOUTFILE=<setup.exe> -DFILES=<nsh> -DUNFILES=<nsh>
; FILES and UNFILES list every file of the package, so that the uninstaller removes exactly those;
; UNFILES leaves out VSDevNetSDK.dll, which the uninstaller removes only when an installer put it there.
; Both bitnesses use the 32-bit stub, which runs on every Windows; Unicode, for folders with Chinese names.
; Silent options: /S, /D=<folder>, /SDK=<the vendor's VSDevNetSDK.dll>. Exit code 2: refused, nothing changed.
Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include x64.nsh
!include StrFunc.nsh
${UnStrStr}

!if ${BITS} == 64
    !define OTHER_BITS 32
    !define MACHINE 0x8664
!else if ${BITS} == 32
    !define OTHER_BITS 64
    !define MACHINE 0x14c
!else
    !error "BITS must be 32 or 64"
!endif

!define PRODUCT "Brelo_Tool"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SETTINGS_KEY "Software\${PRODUCT}"
!define SDK "VSDevNetSDK.dll"
; The stand-in's FILEVERSION 0.0.9999.1 (sdk/vsdevnetsdk.rc.in), as GetDLLVersion returns it.
!define STANDIN_HI 0
!define STANDIN_LO 655294465
; Where a kept vendor library waits while the older version is removed and the files go in.
!define ASIDE "vendor-kept"
!define PACKAGE_FITS "请改用 Brelo_Tool 的 ${OTHER_BITS} 位版本 (win${OTHER_BITS}) 的安装程序"
!define PACKAGE_FITS_EN "Use the ${OTHER_BITS}-bit package of Brelo_Tool (win${OTHER_BITS}) instead"

Name "${PRODUCT} ${VERSION} (${BITS} 位)"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A newer version, of either bitness, goes where the older one is.
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

Var SdkPath        ; the vendor library chosen on the page or with /SDK=, empty for none
Var SdkCompanions  ; the DLLs it imports, directly or not, that lie beside it: "a.dll|b.dll|"
Var SdkMissing     ; the DLLs it imports found neither beside it nor among Windows' own
Var Kept           ; 1: the install folder holds a vendor library, which stays
Var KeptTaken      ; 1: an installer copied it there, with the companions in KeptCompanions
Var KeptCompanions
Var Refusal        ; why the chosen or kept library does not fit, empty when it does
Var PeH
Var PeOff
Var PeLen
Var PeVal
Var PeByte
Var PeShift
Var PeI
Var PePath
Var PeMachine      ; 0 when the file is not a Windows executable
Var PeImports      ; the DLL names of its import table: "a.dll|b.dll|"
Var PeSections
Var PeSectCount
Var PeRva
Var ListItem
Var List
Var Item
Var Found
Var PageText

; $PeVal = the PeLen-byte little-endian number at PeOff of the open file PeH.
Function ReadLE
    FileSeek $PeH $PeOff SET
    StrCpy $PeVal 0
    StrCpy $PeShift 0
    ${For} $PeI 1 $PeLen
        FileReadByte $PeH $PeByte
        IntOp $PeByte $PeByte << $PeShift
        IntOp $PeVal $PeVal | $PeByte
        IntOp $PeShift $PeShift + 8
    ${Next}
FunctionEnd

; $PeVal = the file offset of the address PeRva, -1 when no section holds it.
Function RvaToOffset
    ${For} $PeI 0 $PeSectCount
        ${If} $PeI = $PeSectCount
            ${Break}
        ${EndIf}
        Push $PeI
        IntOp $PeOff $PeI * 40
        IntOp $PeOff $PeOff + $PeSections
        IntOp $PeOff $PeOff + 12
        StrCpy $PeLen 4
        Call ReadLE
        Push $PeVal
        IntOp $PeOff $PeOff - 4
        Call ReadLE
        Push $PeVal
        IntOp $PeOff $PeOff + 8
        Call ReadLE
        Pop $R8 ; virtual size
        ${If} $PeVal U> $R8
            StrCpy $R8 $PeVal
        ${EndIf}
        Pop $R9 ; virtual address
        IntOp $PeOff $PeOff + 4
        Call ReadLE
        Pop $PeI
        IntOp $R8 $R8 + $R9
        ${If} $PeRva U>= $R9
        ${AndIf} $PeRva U< $R8
            IntOp $PeVal $PeVal + $PeRva
            IntOp $PeVal $PeVal - $R9
            Return
        ${EndIf}
    ${Next}
    StrCpy $PeVal -1
FunctionEnd

; Reads PePath's PE header into PeMachine and its import table into PeImports.
Function PeRead
    StrCpy $PeMachine 0
    StrCpy $PeImports ""
    ClearErrors
    FileOpen $PeH $PePath r
    ${If} ${Errors}
        Return
    ${EndIf}
    StrCpy $PeOff 0
    StrCpy $PeLen 2
    Call ReadLE
    ${If} $PeVal <> 0x5A4D
        FileClose $PeH
        Return
    ${EndIf}
    StrCpy $PeOff 0x3C
    StrCpy $PeLen 4
    Call ReadLE
    StrCpy $R7 $PeVal ; e_lfanew
    StrCpy $PeOff $R7
    Call ReadLE
    ${If} $PeVal <> 0x4550
        FileClose $PeH
        Return
    ${EndIf}
    IntOp $PeOff $R7 + 4
    StrCpy $PeLen 2
    Call ReadLE
    StrCpy $PeMachine $PeVal
    IntOp $PeOff $R7 + 6
    Call ReadLE
    StrCpy $PeSectCount $PeVal
    IntOp $PeOff $R7 + 20
    Call ReadLE
    IntOp $PeSections $R7 + 24
    IntOp $PeSections $PeSections + $PeVal
    IntOp $PeOff $R7 + 24
    Call ReadLE
    ; The import directory's address: PE32 or PE32+ optional header.
    ${If} $PeVal = 0x20b
        IntOp $PeOff $R7 + 144
    ${Else}
        IntOp $PeOff $R7 + 128
    ${EndIf}
    StrCpy $PeLen 4
    Call ReadLE
    StrCpy $PeRva $PeVal
    ${If} $PeRva <> 0
        Call RvaToOffset
        StrCpy $R6 $PeVal ; the current import descriptor
        ${DoWhile} $R6 >= 0
            IntOp $PeOff $R6 + 12
            StrCpy $PeLen 4
            Call ReadLE
            ${IfThen} $PeVal = 0 ${|} ${Break} ${|}
            StrCpy $PeRva $PeVal
            Call RvaToOffset
            ${IfThen} $PeVal < 0 ${|} ${Break} ${|}
            FileSeek $PeH $PeVal SET
            StrCpy $R5 ""
            ${Do}
                ClearErrors
                FileReadByte $PeH $PeByte
                ${If} ${Errors}
                ${OrIf} $PeByte = 0
                    ${Break}
                ${EndIf}
                IntFmt $PeByte "%c" $PeByte
                StrCpy $R5 "$R5$PeByte"
                StrLen $PeByte $R5
            ${LoopWhile} $PeByte < 260
            StrCpy $PeImports "$PeImports$R5|"
            IntOp $R6 $R6 + 20
        ${Loop}
    ${EndIf}
    FileClose $PeH
FunctionEnd

; $ListItem = the first item of $List, which loses it; "" when the list is empty.
!macro LIST_POP un
Function ${un}ListPop
    StrCpy $ListItem ""
    StrCpy $PeI 0
    ${Do}
        StrCpy $PeByte $List 1 $PeI
        ${If} $PeByte == ""
            StrCpy $ListItem $List
            StrCpy $List ""
            ${Break}
        ${EndIf}
        ${If} $PeByte == "|"
            StrCpy $ListItem $List $PeI
            IntOp $PeI $PeI + 1
            StrCpy $List $List "" $PeI
            ${Break}
        ${EndIf}
        IntOp $PeI $PeI + 1
    ${Loop}
FunctionEnd
!macroend
!insertmacro LIST_POP ""
!insertmacro LIST_POP "un."

; $R9 = the size of file $R9, -1 when it cannot be read.
!macro FILE_SIZE un
Function ${un}FileSize
    ClearErrors
    FileOpen $PeH $R9 r
    ${If} ${Errors}
        StrCpy $R9 -1
        Return
    ${EndIf}
    FileSeek $PeH 0 END $R9
    FileClose $PeH
FunctionEnd
!macroend
!insertmacro FILE_SIZE ""
!insertmacro FILE_SIZE "un."

; $Found = 1 when $Item (case aside) is an item of the "|"-separated list on the stack.
Function ListHas
    Exch $List
    StrCpy $Found 0
    ${Do}
        Call ListPop
        ${IfThen} $ListItem == $Item ${|} StrCpy $Found 1 ${|}
    ${LoopUntil} $List == ""
    Pop $List
FunctionEnd

!macro MachineBits Machine Out
    ${If} ${Machine} = 0x8664
        StrCpy ${Out} 64
    ${ElseIf} ${Machine} = 0x14c
        StrCpy ${Out} 32
    ${Else}
        StrCpy ${Out} "?"
    ${EndIf}
!macroend

; $Found = 1 when $Item is one of Windows' own DLLs, in the system folder of the program's bitness.
Function IsSystemDll
    StrCpy $Found 0
    StrCpy $PeByte $Item 7
    ${If} $PeByte == "api-ms-"
    ${OrIf} $PeByte == "ext-ms-"
        StrCpy $Found 1
        Return
    ${EndIf}
    !if ${BITS} == 64
        ${DisableX64FSRedirection}
    !endif
    ${IfThen} ${FileExists} "$SYSDIR\$Item" ${|} StrCpy $Found 1 ${|}
    !if ${BITS} == 64
        ${EnableX64FSRedirection}
    !endif
FunctionEnd

; Checks the library $SdkPath: Refusal says why it cannot be used. Finds its companions and the
; imports that are nowhere, following the companions' own imports.
Function CheckSdk
    StrCpy $Refusal ""
    StrCpy $SdkCompanions ""
    StrCpy $SdkMissing ""
    StrCpy $PePath $SdkPath
    Call PeRead
    ${If} $PeMachine = 0
        StrCpy $Refusal "$SdkPath 不是 Windows 的 DLL 文件, 或者无法读取。$\r$\n$\r$\n$SdkPath is not a Windows DLL or cannot be read."
        Return
    ${EndIf}
    ${If} $PeMachine <> ${MACHINE}
        !insertmacro MachineBits $PeMachine $R0
        ${If} $R0 == "?"
            StrCpy $Refusal "设备库 $SdkPath 不是 ${BITS} 位的 Windows DLL, 本程序用不了。什么都没有安装。$\r$\n$\r$\n$SdkPath is not a ${BITS}-bit Windows DLL. Nothing was installed."
            Return
        ${EndIf}
        StrCpy $Refusal "设备库 $SdkPath 是 $R0 位的, 本安装程序安装的是 ${BITS} 位的 Brelo_Tool。${PACKAGE_FITS}。什么都没有安装。$\r$\n$\r$\nThis device library is $R0-bit, this installer installs the ${BITS}-bit Brelo_Tool. ${PACKAGE_FITS_EN}. Nothing was installed."
        Return
    ${EndIf}
    ${GetParent} $SdkPath $R1
    StrCpy $R2 $PeImports ; still to look at
    StrCpy $R3 "|"        ; seen
    ${Do}
        StrCpy $List $R2
        Call ListPop
        StrCpy $R2 $List
        ${IfThen} $ListItem == "" ${|} ${Break} ${|}
        StrCpy $Item $ListItem
        Push $R3
        Call ListHas
        ${IfThen} $Found = 1 ${|} ${Continue} ${|}
        StrCpy $R3 "$R3$Item|"
        Call IsSystemDll
        ${IfThen} $Found = 1 ${|} ${Continue} ${|}
        ${If} ${FileExists} "$R1\$Item"
            StrCpy $SdkCompanions "$SdkCompanions$Item|"
            StrCpy $PePath "$R1\$Item"
            Call PeRead
            StrCpy $R2 "$R2$PeImports"
        ${Else}
            StrCpy $SdkMissing "$SdkMissing$Item|"
        ${EndIf}
    ${Loop}
FunctionEnd

; Kept = 1 when the install folder holds a library that is not the stand-in; Refusal says why it
; cannot stay, if it is of the other bitness.
Function CheckKept
    StrCpy $Kept 0
    StrCpy $Refusal ""
    ${IfNot} ${FileExists} "$INSTDIR\${SDK}"
        Return
    ${EndIf}
    ClearErrors
    GetDLLVersion "$INSTDIR\${SDK}" $R0 $R1
    ${IfNot} ${Errors}
    ${AndIf} $R0 = ${STANDIN_HI}
    ${AndIf} $R1 = ${STANDIN_LO}
        Return
    ${EndIf}
    StrCpy $Kept 1
    StrCpy $PePath "$INSTDIR\${SDK}"
    Call PeRead
    ${If} $PeMachine <> ${MACHINE}
        !insertmacro MachineBits $PeMachine $R0
        ${If} $R0 == "?"
            StrCpy $Refusal "安装文件夹 $INSTDIR 里的 ${SDK} 不是 ${BITS} 位的 Windows DLL, 也不是本程序的替身。请把它移走, 或者选择 ${BITS} 位的设备库。没有做任何更改。$\r$\n$\r$\nThe ${SDK} in the install folder is neither a ${BITS}-bit Windows DLL nor the stand-in. Move it away or choose a ${BITS}-bit device library. Nothing was changed."
            Return
        ${EndIf}
        StrCpy $Refusal "安装文件夹 $INSTDIR 里有设备厂商的 ${SDK}, 它是 $R0 位的, 本安装程序安装的是 ${BITS} 位的 Brelo_Tool。${PACKAGE_FITS}, 或者选择 ${BITS} 位的设备库。没有做任何更改。$\r$\n$\r$\nThe install folder holds the vendor's $R0-bit ${SDK}; this installer installs the ${BITS}-bit Brelo_Tool. ${PACKAGE_FITS_EN}, or choose a ${BITS}-bit device library. Nothing was changed."
    ${EndIf}
FunctionEnd

!macro Refuse Text
    MessageBox MB_OK|MB_ICONSTOP "${Text}" /SD IDOK
    SetErrorLevel 2
    Quit
!macroend

Function .onInit
    !if ${BITS} == 64
        ${IfNot} ${RunningX64}
            !insertmacro Refuse "这是 64 位的 Brelo_Tool, 不能安装在 32 位的 Windows 上。请改用 Brelo_Tool 的 32 位版本 (win32) 的安装程序。$\r$\n$\r$\nThis is the 64-bit Brelo_Tool, which does not run on 32-bit Windows. Use the 32-bit package (win32) instead."
        ${EndIf}
    !endif
    StrCpy $Refusal ""
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/SDK=" $SdkPath
    ${If} $SdkPath != ""
        GetFullPathName $SdkPath $SdkPath
        Call CheckSdk
    ${ElseIf} ${Silent}
        Call CheckKept
    ${EndIf}
    ${If} $Refusal != ""
        !insertmacro Refuse $Refusal
    ${EndIf}
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
    ${NSD_CreateLabel} 0 34u 100% 22u "本安装程序安装的是 ${BITS} 位的 Brelo_Tool, 只能使用 ${BITS} 位的设备库; ${OTHER_BITS} 位的设备库要用 Brelo_Tool 的 ${OTHER_BITS} 位版本 (win${OTHER_BITS})。选中的设备库是几位的, 安装程序会检查并告诉你。"
    Pop $R0
    Call CheckKept
    ${If} $Refusal != ""
        StrCpy $R1 "安装文件夹里已有的 ${SDK} 不是 ${BITS} 位的: 请选择 ${BITS} 位的设备库, 或者${PACKAGE_FITS}。"
    ${ElseIf} $Kept = 1
        StrCpy $R1 "安装文件夹里已有设备厂商的 ${SDK}。不选设备库, 安装时保留它。"
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
        Call CheckSdk
    ${Else}
        Call CheckKept
    ${EndIf}
    ${If} $Refusal != ""
        MessageBox MB_OK|MB_ICONSTOP $Refusal
        Abort
    ${EndIf}
FunctionEnd

!macro FailInstall Text
    DetailPrint "${Text}"
    MessageBox MB_OK|MB_ICONSTOP "${Text}" /SD IDOK
    SetErrorLevel 1
    Abort
!macroend

; Copies or moves the listed files (R0: "a.dll|") from folder R1 to folder R2. R3: 0 copies,
; 1 moves aside and never over a file there, 2 moves back over what is there. Missing files are skipped.
Function MoveList
    StrCpy $List $R0
    ${Do}
        Call ListPop
        ${IfThen} $ListItem == "" ${|} ${Break} ${|}
        ${IfNot} ${FileExists} "$R1\$ListItem"
            ${Continue}
        ${EndIf}
        ${If} $R3 = 1
        ${AndIf} ${FileExists} "$R2\$ListItem"
            !insertmacro FailInstall "$R2 里已有 $ListItem, 没有覆盖它。$R2 already holds $ListItem, which was left as it is."
        ${EndIf}
        ClearErrors
        ${If} $R3 = 0
            CopyFiles /SILENT "$R1\$ListItem" "$R2\$ListItem"
        ${Else}
            Delete "$R2\$ListItem"
            Rename "$R1\$ListItem" "$R2\$ListItem"
        ${EndIf}
        ${If} ${Errors}
            !insertmacro FailInstall "无法把 $R1\$ListItem 移到 $R2。Cannot move $R1\$ListItem to $R2."
        ${EndIf}
    ${Loop}
FunctionEnd

Section "Install"
    SetShellVarContext current
    ; A library left aside by an install that was cut short goes back where it was.
    ${If} ${FileExists} "$INSTDIR\${ASIDE}\${SDK}"
        Call CheckKept
        ${If} $Kept = 0
            Delete "$INSTDIR\${SDK}"
            Rename "$INSTDIR\${ASIDE}\${SDK}" "$INSTDIR\${SDK}"
        ${EndIf}
    ${EndIf}
    ; The chosen library and its companions are taken now, before the older version's files go.
    ${If} $SdkPath != ""
        InitPluginsDir
        ${GetParent} $SdkPath $R1
        CreateDirectory "$PLUGINSDIR\sdk"
        ClearErrors
        CopyFiles /SILENT $SdkPath "$PLUGINSDIR\sdk\${SDK}"
        ${IfThen} ${Errors} ${|} !insertmacro FailInstall "无法读取 $SdkPath。Cannot read $SdkPath." ${|}
        StrCpy $R0 $SdkCompanions
        StrCpy $R2 "$PLUGINSDIR\sdk"
        StrCpy $R3 0
        Call MoveList
    ${Else}
        Call CheckKept
        ${If} $Refusal != ""
            !insertmacro FailInstall $Refusal
        ${EndIf}
    ${EndIf}
    ; The older uninstaller deletes the library whatever it is, and the companions it copied: a
    ; vendor library that stays waits aside meanwhile.
    StrCpy $KeptTaken 0
    StrCpy $KeptCompanions ""
    ${If} $SdkPath == ""
    ${AndIf} $Kept = 1
        ReadRegDWORD $KeptTaken HKCU "${SETTINGS_KEY}" "VendorDll"
        ReadRegDWORD $R9 HKCU "${SETTINGS_KEY}" "VendorDllSize"
        ${IfThen} $KeptTaken == "" ${|} StrCpy $KeptTaken 0 ${|}
        ${If} $KeptTaken = 1
            ReadRegStr $KeptCompanions HKCU "${SETTINGS_KEY}" "VendorCompanions"
        ${EndIf}
        CreateDirectory "$INSTDIR\${ASIDE}"
        StrCpy $R0 "${SDK}|$KeptCompanions"
        StrCpy $R1 $INSTDIR
        StrCpy $R2 "$INSTDIR\${ASIDE}"
        StrCpy $R3 1
        Call MoveList
    ${EndIf}
    IfFileExists "$INSTDIR\uninstall.exe" 0 +2
        ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
    !include "${FILES}"
    SetOutPath "$INSTDIR"

    StrCpy $R5 ""
    ${If} $SdkPath != ""
        Delete "$INSTDIR\${SDK}"
        ClearErrors
        CopyFiles /SILENT "$PLUGINSDIR\sdk\${SDK}" "$INSTDIR\${SDK}"
        ${IfThen} ${Errors} ${|} !insertmacro FailInstall "无法复制 $SdkPath。Cannot copy $SdkPath." ${|}
        DetailPrint "已装入设备厂商的设备库 $SdkPath, 替换了替身。"
        ; A companion never replaces a file of the program.
        StrCpy $List $SdkCompanions
        ${Do}
            Call ListPop
            ${IfThen} $ListItem == "" ${|} ${Break} ${|}
            ${If} ${FileExists} "$INSTDIR\$ListItem"
                DetailPrint "设备库依赖的 $ListItem 本程序已有, 没有复制。"
            ${Else}
                CopyFiles /SILENT "$PLUGINSDIR\sdk\$ListItem" "$INSTDIR\$ListItem"
                DetailPrint "已复制设备库依赖的 $ListItem。"
                StrCpy $R5 "$R5$ListItem|"
            ${EndIf}
        ${Loop}
        StrCpy $List $SdkMissing
        ${Do}
            Call ListPop
            ${IfThen} $ListItem == "" ${|} ${Break} ${|}
            ${IfNot} ${FileExists} "$INSTDIR\$ListItem"
                DetailPrint "找不到设备库依赖的 $ListItem: 请安装设备厂商要求的运行库, 或把它放到安装文件夹。"
            ${EndIf}
        ${Loop}
        StrCpy $R9 "$INSTDIR\${SDK}"
        Call FileSize
        StrCpy $R4 1
    ${ElseIf} $Kept = 1
        StrCpy $R0 "${SDK}|$KeptCompanions"
        StrCpy $R1 "$INSTDIR\${ASIDE}"
        StrCpy $R2 $INSTDIR
        StrCpy $R3 2
        Call MoveList
        RMDir "$INSTDIR\${ASIDE}"
        DetailPrint "保留了安装文件夹里设备厂商的 ${SDK}, 没有换成替身。"
        StrCpy $R4 $KeptTaken
        StrCpy $R5 $KeptCompanions
    ${Else}
        DetailPrint "安装了替身设备库 ${SDK}, 它只与设备模拟器 devsim 通信。"
        StrCpy $R4 0
        StrCpy $R9 0
    ${EndIf}

    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\brelo_tool.exe"
    WriteRegStr HKCU "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
    ; What the uninstaller removes besides the package's files.
    WriteRegDWORD HKCU "${SETTINGS_KEY}" "VendorDll" $R4
    WriteRegDWORD HKCU "${SETTINGS_KEY}" "VendorDllSize" $R9
    WriteRegStr HKCU "${SETTINGS_KEY}" "VendorCompanions" $R5
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${BITS} 位)"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT} developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brelo_tool.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
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
    ; is gone. Not on the silent run an upgrade makes: the rule still fits the same folder.
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
    !include "${UNFILES}"
    ; The library goes when it is the stand-in or the one an installer copied; a user's stays.
    StrCpy $R7 0
    ClearErrors
    GetDLLVersion "$INSTDIR\${SDK}" $R0 $R1
    ${IfNot} ${Errors}
    ${AndIf} $R0 = ${STANDIN_HI}
    ${AndIf} $R1 = ${STANDIN_LO}
        StrCpy $R7 1
    ${EndIf}
    ReadRegDWORD $R4 HKCU "${SETTINGS_KEY}" "VendorDll"
    ReadRegDWORD $R8 HKCU "${SETTINGS_KEY}" "VendorDllSize"
    StrCpy $R9 "$INSTDIR\${SDK}"
    Call un.FileSize
    ${If} $R4 = 1
    ${AndIf} $R8 = $R9
        StrCpy $R7 1
    ${EndIf}
    ${If} $R7 = 1
        Delete "$INSTDIR\${SDK}"
    ${ElseIf} ${FileExists} "$INSTDIR\${SDK}"
        DetailPrint "保留了设备厂商的 ${SDK}: 它不是安装程序放进来的。"
    ${EndIf}
    ${If} $R4 = 1
        ReadRegStr $List HKCU "${SETTINGS_KEY}" "VendorCompanions"
        ${Do}
            Call un.ListPop
            ${IfThen} $ListItem == "" ${|} ${Break} ${|}
            Delete "$INSTDIR\$ListItem"
        ${Loop}
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd
