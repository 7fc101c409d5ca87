# Fails when any C++ source of the project is not clang-formatted.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/analysis/*.[ch]* ${SOURCE_DIR}/unit/*.[ch]* ${SOURCE_DIR}/effect/*.[ch]*
     ${SOURCE_DIR}/core/*.[ch]* ${SOURCE_DIR}/elements/*.[ch]* ${SOURCE_DIR}/format/*.[ch]*
     ${SOURCE_DIR}/view/*.[ch]* ${SOURCE_DIR}/host/*.[ch]* ${SOURCE_DIR}/lv2/*.[ch]* ${SOURCE_DIR}/tests/*.[ch]*
     ${SOURCE_DIR}/bench/*.[ch]*)
list(FILTER sources INCLUDE REGEX "\\.(h|hpp|cpp|cc|c)$")
# One clang-format run over every file; it names each file that is off.
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE rc ERROR_VARIABLE out OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  string(REGEX MATCHALL "[^ \n]+:[0-9]+:[0-9]+: error" offenders "${out}")
  message(FATAL_ERROR "Not clang-formatted (run scripts/format.sh):\n${offenders}")
endif()
