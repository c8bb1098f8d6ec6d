# Fails when PROGRAM imports from a library that Windows might load from the program's
# own folder. Only libraries listed under KnownDLLs on every Windows from 7 to 11 are
# always taken from the system directory. Everything else, the common controls too, is
# bound at run time from System32 (the common controls, loaded at start-up, would load
# the theme library by name before the program could restrict the search).
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P check_imports.cmake
cmake_policy(SET CMP0057 NEW)  # IN_LIST
set(allowed advapi32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the import table of ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no imports found in ${PROGRAM}: not a program objdump can read?")
endif()
set(refused)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "DLL Name: *" "" name "${line}")
  string(STRIP "${name}" name)
  string(TOLOWER "${name}" lower)
  if(NOT lower IN_LIST allowed)
    list(APPEND refused "${name}")
  endif()
endforeach()
if(refused)
  message(FATAL_ERROR "${PROGRAM} imports from libraries outside the system's known list: ${refused}")
endif()
message(STATUS "imports of ${PROGRAM} are all known system libraries")
