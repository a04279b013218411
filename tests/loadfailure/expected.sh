# The program's words for a VSDevNetSDK.dll of each case here, which the start-up box
# (windows_loadfailure) and brelo_libcheck (windows_libcheck) must both give.
# Usage: expected_text CASE SHOWN_PATH PROGRAM_BITS
expected_text() {
    local shown=$2 bits=$3 other=$((96 - $3))
    case $1 in
    other_bits)
        echo "设备库 $shown 是 $other 位的, 本程序是 $bits 位的。请改用 Brelo_Tool 的 $other 位版本 (win$other)。" ;;
    no_search)
        echo "设备库 $shown 缺少函数 vsnet_search, 无法使用。" ;;
    needs_runtime)
        echo "设备库 $shown 依赖的 absent_runtime.dll 找不到。请安装设备厂商要求的运行库, 或把这些文件放到本程序所在的文件夹。" ;;
    stdcall)
        echo "设备库 $shown 缺少函数 vsnet_init, vsnet_uninit, vsnet_search, vsnet_send_json_msg, 无法使用。"
        echo "该库按 stdcall 约定导出函数, 本程序需要 cdecl 约定的设备库。" ;;
    esac
}
