@echo off
rem Removes the rule that allow-firewall.cmd added for brelo_tool.exe of this folder. Run it before
rem uninstalling or deleting the folder. Run as administrator: right-click, "Run as administrator".
rem The path is read only through !program!, as in allow-firewall.cmd. "show rule" needs no
rem administrator, and names the rule when one exists; its other text is localised, and a netsh
rem without advfirewall (Wine's) prints nothing and exits 0, so the name alone decides.
rem The package holds these lines in GBK, for a Chinese console (code page 936).
setlocal DisableDelayedExpansion
set "program=%~dp0brelo_tool.exe"
setlocal EnableDelayedExpansion
netsh advfirewall firewall show rule name="Brelo_Tool" 2>nul | "%SystemRoot%\System32\find.exe" "Brelo_Tool" >nul
if errorlevel 1 goto none
netsh advfirewall firewall delete rule name="Brelo_Tool" program="!program!"
if errorlevel 1 goto failed
echo 已删除 !program! 的防火墙规则。
echo The rule for !program! is removed.
pause
exit /b 0

:none
echo 没有找到名为 Brelo_Tool 的防火墙规则, 无需删除。
echo No Brelo_Tool rule was found, so there is nothing to remove.
pause
exit /b 0

:failed
echo 未删除任何规则: 请右键点击本文件, 选择"以管理员身份运行"; 或者 !program! 没有规则。
echo No rule was removed: run this file as administrator, or no rule exists for !program!.
pause
exit /b 1
