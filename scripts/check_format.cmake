# Fails when any C++ source of the project is not clang-formatted.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/analysis/*.[ch]* ${SOURCE_DIR}/unit/*.[ch]* ${SOURCE_DIR}/effect/*.[ch]*
     ${SOURCE_DIR}/core/*.[ch]* ${SOURCE_DIR}/elements/*.[ch]* ${SOURCE_DIR}/format/*.[ch]*
     ${SOURCE_DIR}/view/*.[ch]* ${SOURCE_DIR}/host/*.[ch]* ${SOURCE_DIR}/tests/*.[ch]*
     ${SOURCE_DIR}/bench/*.[ch]*)
list(FILTER sources INCLUDE REGEX "\\.(h|hpp|cpp|cc|c)$")
set(bad "")
foreach(f ${sources})
  execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${SOURCE_DIR}/${f}
                  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 0)
    list(APPEND bad ${f})
  endif()
endforeach()
if(bad)
  message(FATAL_ERROR "Not clang-formatted (run scripts/format.sh): ${bad}")
endif()
