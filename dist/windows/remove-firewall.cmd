@echo off
rem Removes the rule that allow-firewall.cmd added for brelo_tool.exe of this folder. Run it before
rem uninstalling or deleting the folder. Run as administrator: right-click, "Run as administrator".
setlocal
set "program=%~dp0brelo_tool.exe"
netsh advfirewall firewall delete rule name="Brelo_Tool" program="%program%"
if errorlevel 1 (
    echo No rule was removed: run this file as administrator, or no rule exists for %program%.
    pause
    exit /b 1
)
echo The rule for %program% is removed.
pause
