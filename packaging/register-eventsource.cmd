@echo off
rem Registers the event source Norvelle with the event log, its texts in
rem the evtrelay.exe beside this script. Run it as an administrator.
rem
rem The script's folder is only ever used through a FOR variable, which cmd
rem substitutes after every other expansion: a folder name holding %, &, ^,
rem !, ( or ) reaches reg.exe as it is (Wine's cmd expands what %~dp0 gives
rem a second time, so "%PATH%" in a name would become the search path).
rem reg.exe by its full path: cmd would first look for "reg" in the current
rem directory.
setlocal
set "reg=%SystemRoot%\System32\reg.exe"
set "key=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Norvelle"
for %%I in ("%~0") do "%reg%" add "%key%" /v EventMessageFile /t REG_EXPAND_SZ /d "%%~dpIevtrelay.exe" /f >nul
if errorlevel 1 goto failed
"%reg%" add "%key%" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 goto failed
for %%I in ("%~0") do echo Event source Norvelle registered: "%%~dpIevtrelay.exe"
exit /b 0
:failed
echo The event source could not be registered: run this script as an administrator. 1>&2
exit /b 1
