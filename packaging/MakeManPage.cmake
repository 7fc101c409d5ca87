# Writes marvex's man page from its own help, so the two cannot drift: help2man turns
# `marvex --help` into the page, and each subcommand's --help becomes a section of COMMANDS.
#   cmake -DMARVEX=<program> -DHELP2MAN=<help2man> -DVERSION=<x.y.z> -DOUTPUT=<marvex.1> -P MakeManPage.cmake
execute_process(COMMAND ${MARVEX} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${MARVEX} --help failed")
endif()
string(REGEX REPLACE ".*\nSubcommands:\n" "" listing "${help}")
string(REGEX REPLACE "\n\n.*" "" listing "${listing}")
string(REGEX MATCHALL "(^|\n)  [a-z]+ " names "${listing}")

set(include "[COMMANDS]\n")
foreach(name ${names})
  string(STRIP "${name}" name)
  execute_process(COMMAND ${MARVEX} ${name} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${MARVEX} ${name} --help failed")
  endif()
  # roff: backslashes are escapes, and a line may not start with a control character.
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(APPEND include ".SS ${name}\n.nf\n${text}.fi\n")
endforeach()
file(WRITE ${OUTPUT}.include "${include}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${VERSION}
          "--name=an instrument tuner for audio files, a host of the Marvex plug-in"
          --include=${OUTPUT}.include --output=${OUTPUT} ${MARVEX}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed")
endif()
