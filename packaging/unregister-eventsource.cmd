@echo off
rem Removes the event source Norvelle from the event log (the entries
rem already written stay). Run it as an administrator. reg.exe by its full
rem path: cmd would first look for "reg" in the current directory.
"%SystemRoot%\System32\reg.exe" delete "HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Norvelle" /f >nul
if errorlevel 1 goto failed
echo Event source Norvelle removed.
exit /b 0
:failed
echo The event source could not be removed (not registered, or not run as an administrator). 1>&2
exit /b 1
