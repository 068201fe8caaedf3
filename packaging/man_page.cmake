# Writes the gzip-compressed manual page of a program from its --help, with help2man.
#
#   cmake -DPROGRAM=<executable> -DNAME=<one-line description> -DVERSION=<version>
#         -DINCLUDE=<help2man include file> -DDATE_EPOCH=<seconds> -DOUTPUT=<page.1.gz>
#         [-DCOMMANDS=ON] -DHELP2MAN=<help2man> -DGZIP=<gzip> -P man_page.cmake
#
# With COMMANDS=ON the program is a command with sub-commands (velqor-cli): the commands are
# read from the "Commands:" list of its --help, and each one's own --help becomes a section of
# the page, so that the page describes every option.

foreach(var PROGRAM NAME VERSION INCLUDE DATE_EPOCH OUTPUT HELP2MAN GZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "man_page.cmake: ${var} is not set")
  endif()
endforeach()

get_filename_component(page "${OUTPUT}" NAME_WLE)  # velqor.1
get_filename_component(dir "${OUTPUT}" DIRECTORY)
set(includes --include=${INCLUDE})

if(COMMANDS)
  execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed (${rc})")
  endif()
  string(REGEX MATCH "\nCommands:\n(  [^\n]*\n)+" list "${help}")
  string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" names "${list}")
  if(NOT names)
    message(FATAL_ERROR "${PROGRAM} --help lists no commands")
  endif()
  set(sections "[COMMANDS]\n")
  foreach(name IN LISTS names)
    string(STRIP "${name}" name)
    # help2man formats the command's own --help; its description and options become a
    # subsection, the command's usage line at its head.
    execute_process(
      COMMAND "${HELP2MAN}" --no-info "--version-string=${VERSION}" "--help-option=${name} --help"
              "${PROGRAM}"
      OUTPUT_VARIABLE roff RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "help2man failed for ${PROGRAM} ${name} --help (${rc})")
    endif()
    string(FIND "${roff}" "\n.SH DESCRIPTION\n" at)
    if(at LESS 0)
      message(FATAL_ERROR "${PROGRAM} ${name} --help says nothing help2man takes as a description")
    endif()
    math(EXPR at "${at} + 17")
    string(SUBSTRING "${roff}" ${at} -1 body)
    string(FIND "${body}" "\n.SH " end)
    if(end GREATER_EQUAL 0)
      math(EXPR end "${end} + 1")
      string(SUBSTRING "${body}" 0 ${end} body)
    endif()
    string(REGEX REPLACE "^[Uu]sage: " ".B " body "${body}")
    # Lines the include file would read as the start of a section or pattern.
    string(REGEX REPLACE "(^|\n)([[/])" "\\1\\\\&\\2" body "${body}")
    string(APPEND sections ".SS ${name}\n${body}")
  endforeach()
  set(commands_include "${dir}/${page}.commands.h2m")
  file(WRITE "${commands_include}" "${sections}")
  list(APPEND includes --include=${commands_include})
endif()

# help2man dates the page; the release date keeps the page the same from build to build.
set(ENV{SOURCE_DATE_EPOCH} "${DATE_EPOCH}")
execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1 "--name=${NAME}" "--version-string=${VERSION}"
          "--source=Velqor ${VERSION}" "--manual=User Commands" ${includes}
          "--output=${dir}/${page}" "${PROGRAM}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM} (${rc})")
endif()
execute_process(COMMAND "${GZIP}" -9 -n -f "${dir}/${page}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${dir}/${page} (${rc})")
endif()
