# Fails when PROGRAM could be refused or subverted by the Windows it is meant for:
#  - it imports from a library that Windows might load from the program's own folder.
#    Only libraries listed under KnownDLLs on every Windows from XP to 11 are always
#    taken from the system directory. Everything else, the common controls too, is
#    bound at run time from System32 (the common controls, loaded at start-up, would
#    load the theme library by name before the program could restrict the search);
#  - it imports a function listed in FORBIDDEN whose oldest Windows is newer than
#    OLDEST, the NT version the program must load on (the loader refuses a program
#    that imports a function its system lacks);
#  - its header asks for a newer Windows than OLDEST, or carries a link time stamp.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -DFORBIDDEN=<list> -DOLDEST=<5.1|5.2> -P check_imports.cmake
cmake_policy(SET CMP0057 NEW)  # IN_LIST
# -DPROGRAM_ENV=<variable>: the program that environment variable names, when it is set
# and not empty (the Tolvane.exe a release shipped, as the end-to-end tests take it).
if(PROGRAM_ENV AND NOT "$ENV{${PROGRAM_ENV}}" STREQUAL "")
  set(PROGRAM $ENV{${PROGRAM_ENV}})
endif()
set(allowed advapi32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll user32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read the import table of ${PROGRAM}")
endif()

# The forbidden functions, "library!function" -> oldest Windows.
file(STRINGS "${FORBIDDEN}" entries REGEX "^[^# \t]")
set(forbidden)
foreach(entry IN LISTS entries)
  string(REGEX MATCH "^([^ \t]+)[ \t]+([0-9.]+)" matched "${entry}")
  if(NOT matched)
    message(FATAL_ERROR "${FORBIDDEN}: cannot read the line '${entry}'")
  endif()
  string(TOLOWER "${CMAKE_MATCH_1}" name)
  if(CMAKE_MATCH_2 VERSION_GREATER OLDEST)
    list(APPEND forbidden "${name}")
  endif()
endforeach()

# objdump lists each library as "DLL Name: <name>", then one line per function:
# "<tab><address><tab> <hint>  <name>", then an empty line.
string(REPLACE ";" "\\;" dump "${dump}")
string(REGEX REPLACE "\r?\n" ";" lines "${dump}")
set(library)
set(libraries)
set(functions 0)
set(refused_libraries)
set(refused_functions)
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: *([^ ]+)")
    string(TOLOWER "${CMAKE_MATCH_1}" library)
    list(APPEND libraries "${library}")
    if(NOT library IN_LIST allowed)
      list(APPEND refused_libraries "${CMAKE_MATCH_1}")
    endif()
  elseif(library AND line MATCHES "^\t[0-9a-fA-F]+\t +[0-9]+ +([^ ]+)$")
    math(EXPR functions "${functions} + 1")
    string(TOLOWER "${library}!${CMAKE_MATCH_1}" name)
    if(name IN_LIST forbidden)
      list(APPEND refused_functions "${library}!${CMAKE_MATCH_1}")
    endif()
  elseif(line STREQUAL "")
    set(library)
  endif()
endforeach()
if(NOT libraries OR functions EQUAL 0)
  message(FATAL_ERROR "no imports found in ${PROGRAM}: not a program objdump can read?")
endif()

set(faults)
list(JOIN refused_libraries " " refused_libraries)
list(JOIN refused_functions " " refused_functions)
if(refused_libraries)
  list(APPEND faults "imports from libraries outside the system's known list: ${refused_libraries}")
endif()
if(refused_functions)
  list(APPEND faults "imports functions that Windows ${OLDEST} lacks: ${refused_functions}")
endif()
string(REPLACE "." ";" want "${OLDEST}")
list(GET want 0 want_major)
list(GET want 1 want_minor)
foreach(field OSystem Subsystem)
  if(NOT dump MATCHES "Major${field}Version\t+([0-9]+)" OR NOT CMAKE_MATCH_1 EQUAL want_major OR
     NOT dump MATCHES "Minor${field}Version\t+([0-9]+)" OR NOT CMAKE_MATCH_1 EQUAL want_minor)
    list(APPEND faults "its header's ${field} version is not ${OLDEST}")
  endif()
endforeach()
if(NOT dump MATCHES "Time/Date\t+Thu Jan  1 00:00:00 1970")
  list(APPEND faults "its header carries a link time stamp")
endif()
if(faults)
  string(REPLACE ";" "\n  " faults "${faults}")
  message(FATAL_ERROR "${PROGRAM}:\n  ${faults}")
endif()
message(STATUS "${PROGRAM}: ${functions} imported functions, all from known system libraries and all in Windows ${OLDEST}")
