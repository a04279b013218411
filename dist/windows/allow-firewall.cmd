@echo off
rem Lets the answers of the devices reach brelo_tool.exe of this folder, on every network profile (a
rem site switch without a gateway is an unidentified network, which Windows treats as public).
rem Run as administrator: right-click, "Run as administrator".
rem The path is read only through !program!, so that a folder such as "C:\Program Files (x86)\A&B"
rem is taken as text, never as syntax. It is set before delayed expansion is on, so that a "!" in it
rem stays too. The package holds these lines in GBK, for a Chinese console (code page 936).
setlocal DisableDelayedExpansion
set "program=%~dp0brelo_tool.exe"
setlocal EnableDelayedExpansion
netsh advfirewall firewall delete rule name="Brelo_Tool" program="!program!" >nul 2>&1
netsh advfirewall firewall add rule name="Brelo_Tool" dir=in action=allow program="!program!" protocol=UDP profile=any
if errorlevel 1 goto failed
echo 设备对搜索的应答现在可以到达 !program!。
echo Answers to searches now reach !program!.
pause
exit /b 0

:failed
echo 无法添加防火墙规则: 请右键点击本文件, 选择"以管理员身份运行"。
echo Could not add the rule: run this file as administrator.
pause
exit /b 1
