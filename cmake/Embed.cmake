# Turns binary files into byte arrays of a generated C++ source, so the program
# carries its clip and icon without resource lookups.
function(tolvane_embed)
  cmake_parse_arguments(EMB "" "OUTPUT" "FILES" ${ARGN})
  set(script ${CMAKE_SOURCE_DIR}/cmake/EmbedRun.cmake)
  set(inputs "")
  set(args "")
  list(LENGTH EMB_FILES n)
  math(EXPR last "${n} - 1")
  foreach(i RANGE 0 ${last} 2)
    math(EXPR j "${i} + 1")
    list(GET EMB_FILES ${i} name)
    list(GET EMB_FILES ${j} file)
    list(APPEND inputs ${file})
    list(APPEND args "${name}=${file}")
  endforeach()
  string(REPLACE ";" "|" joined "${args}")
  add_custom_command(OUTPUT ${EMB_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DOUTPUT=${EMB_OUTPUT} "-DENTRIES=${joined}" -P ${script}
    DEPENDS ${inputs} ${script}
    COMMENT "Embedding resources"
    VERBATIM)
endfunction()
