# Fails unless every DLL the program imports is one that Windows loads only
# from the system directory (a KnownDLL on Windows 7 as on Windows 10 and 11),
# so no copy left beside the program can be loaded in its place before its
# first instruction runs. Everything else is loaded at run time, by name,
# after the program has limited the DLL search.
#   cmake -DOBJDUMP=<objdump> -DEXE=<program> [-DALLOWED=<a.dll;b.dll>] -P imports_check.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT DEFINED ALLOWED)
  set(ALLOWED
    kernel32.dll ntdll.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll
    comdlg32.dll msvcrt.dll shlwapi.dll imm32.dll ws2_32.dll psapi.dll setupapi.dll imagehlp.dll rpcrt4.dll)
endif()

execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump ERROR_VARIABLE error RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed: ${error}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imported DLLs found in ${EXE}")
endif()

set(imported)
set(refused)
foreach(line ${lines})
  string(REGEX REPLACE "^DLL Name: *" "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" name)
  list(APPEND imported ${name})
  if(NOT name IN_LIST ALLOWED)
    list(APPEND refused ${name})
  endif()
endforeach()
if(refused)
  string(REPLACE ";" " " refused "${refused}")
  message(FATAL_ERROR "imports DLLs not loaded only from the system directory: ${refused}")
endif()
string(REPLACE ";" " " imported "${imported}")
message(STATUS "imports only system DLLs: ${imported}")
