# Fails when the program imports a function that Windows 7 lacks: the program would not start
# there. Such functions are looked up at run time instead.
#   cmake -DPROGRAM=Tessara.exe -DOBJDUMP=x86_64-w64-mingw32-objdump -P CheckWindows7Imports.cmake
set(newer_than_windows7
  AdjustWindowRectExForDpi GetDpiForSystem GetDpiForWindow GetSystemMetricsForDpi
  SetProcessDpiAwarenessContext SetThreadDpiAwarenessContext GetWindowDpiAwarenessContext
  SystemParametersInfoForDpi EnableNonClientDpiScaling SetProcessDpiAwareness GetDpiForMonitor)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE imports RESULT_VARIABLE failed)
if(failed OR NOT imports MATCHES "DLL Name: KERNEL32.dll")
  message(FATAL_ERROR "cannot read the import table of ${PROGRAM}")
endif()
if(imports MATCHES "DLL Name: (shcore|SHCORE|api-ms-win-[^\n]*)")
  message(FATAL_ERROR "${PROGRAM} imports ${CMAKE_MATCH_1}, which Windows 7 lacks")
endif()
foreach(name IN LISTS newer_than_windows7)
  if(imports MATCHES "[ \t]${name}\n")
    message(FATAL_ERROR "${PROGRAM} imports ${name}, which Windows 7 lacks")
  endif()
endforeach()
message(STATUS "${PROGRAM}: no import newer than Windows 7")
