@echo off
rem Lets the answers of the devices reach brelo_tool.exe of this folder, on every network profile (a
rem site switch without a gateway is an unidentified network, which Windows treats as public).
rem Run as administrator: right-click, "Run as administrator".
setlocal
set "program=%~dp0brelo_tool.exe"
netsh advfirewall firewall delete rule name="Brelo_Tool" program="%program%" >nul 2>&1
netsh advfirewall firewall add rule name="Brelo_Tool" dir=in action=allow program="%program%" protocol=UDP profile=any
if errorlevel 1 (
    echo Could not add the rule: run this file as administrator.
    pause
    exit /b 1
)
echo Answers to searches now reach %program%.
pause
