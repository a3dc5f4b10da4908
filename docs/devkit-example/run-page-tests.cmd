@echo off
rem A page's tests for three situations, with the development kit's virtual
rem card and its local validation service. Usage: run-page-tests.cmd [PORT]
setlocal
set KIT=%ProgramFiles%\QELT DevKit
set PORT=8080
if not "%~1"=="" set PORT=%~1
set READY=%TEMP%\qelt-validation-service.ready
set FAILED=0
if exist "%READY%" del "%READY%"

rem The service, in the background, with the test cards' revoked serials.
start "" /b "%KIT%\QELTValidationService.exe" --port %PORT% --revoked-file "%KIT%\revoked-serials.txt" --ready-file "%READY%"
set TRIES=0
:wait
if exist "%READY%" goto ready
set /a TRIES+=1
if %TRIES% GEQ 30 (echo The validation service did not start.& exit /b 1)
ping -n 2 127.0.0.1 >nul
goto wait
:ready

rem The kit's default card (the citizen card): valid.
set QELT_CARD_PROFILE=
cscript //nologo "%KIT%\page-test.js" %PORT% A123456789 valid
if errorlevel 1 set FAILED=1

rem A revoked certificate: the validation refuses it.
set QELT_CARD_PROFILE=%KIT%\cards\revoked\card.profile
cscript //nologo "%KIT%\page-test.js" %PORT% D223456789 invalid
if errorlevel 1 set FAILED=1

rem An expired certificate: refused too.
set QELT_CARD_PROFILE=%KIT%\cards\expired\card.profile
cscript //nologo "%KIT%\page-test.js" %PORT% C123456789 invalid
if errorlevel 1 set FAILED=1

taskkill /im QELTValidationService.exe /f >nul 2>&1
if %FAILED%==1 (echo SOME PAGE TESTS FAILED) else (echo ALL PAGE TESTS PASSED)
exit /b %FAILED%
