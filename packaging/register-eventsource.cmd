@echo off
rem Registers the event source Norvelle with the event log, its texts in
rem the evtrelay.exe beside this script. Run it as an administrator. Every
rem path is quoted: a folder name may hold spaces, ampersands or brackets.
setlocal
set "key=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Norvelle"
reg add "%key%" /v EventMessageFile /t REG_EXPAND_SZ /d "%~dp0evtrelay.exe" /f >nul
if errorlevel 1 goto failed
reg add "%key%" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 goto failed
echo Event source Norvelle registered: "%~dp0evtrelay.exe"
exit /b 0
:failed
echo The event source could not be registered: run this script as an administrator. 1>&2
exit /b 1
