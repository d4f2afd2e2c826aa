# Writes the manual page of kadrimex-batch from its own --help and --version
# output, so the page lists exactly the commands the tool has.
#   cmake -DBATCH=<kadrimex-batch> -DOUTPUT=<kadrimex-batch.1> -P ManPage.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${BATCH}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "kadrimex-batch --help failed")
endif()
execute_process(COMMAND "${BATCH}" --version OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "^kadrimex-batch " "" version "${version}")

# roff: a backslash is written \e, a leading dot or quote is escaped, and a
# minus sign is \-.
function(roff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  string(REPLACE "@LB@" "[" text "${text}")
  string(REPLACE "@RB@" "]" text "${text}")
  string(REPLACE "@SC@" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Square brackets would hold list items together and a semicolon would
# split a line: they travel as placeholders until each line is written.
string(REPLACE "[" "@LB@" help "${help}")
string(REPLACE "]" "@RB@" help "${help}")
string(REPLACE ";" "@SC@" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
set(synopsis "")
set(description "")
set(commands "")
set(part "usage")
foreach(line IN LISTS lines)
  if(line MATCHES "^Commands:")
    set(part "commands")
  elseif(part STREQUAL "usage" AND line MATCHES "^(Usage:)? +(kadrimex-batch.*)$")
    roff("${CMAKE_MATCH_2}" text)
    string(APPEND synopsis ".br\n${text}\n")
  elseif(part STREQUAL "usage" AND NOT line STREQUAL "")
    set(part "description")
    roff("${line}" text)
    string(APPEND description "${text}\n")
  elseif(part STREQUAL "description" AND line STREQUAL "")
    string(APPEND description ".PP\n")
  elseif(part STREQUAL "description" AND line MATCHES "^  ")
    # An example: a line of its own.
    string(STRIP "${line}" line)
    roff("${line}" text)
    string(APPEND description ".br\n.B \"${text}\"\n")
  elseif(part STREQUAL "description")
    roff("${line}" text)
    string(APPEND description "${text}\n")
  elseif(part STREQUAL "commands" AND line MATCHES "^  ([^ ]+)(.*)$")
    roff("${CMAKE_MATCH_1}" name)
    string(STRIP "${CMAKE_MATCH_2}" rest)
    roff("${rest}" rest)
    string(APPEND commands ".TP\n.B ${name}\n${rest}\n")
  endif()
endforeach()
if(commands STREQUAL "")
  message(FATAL_ERROR "kadrimex-batch --help lists no commands")
endif()

file(WRITE "${OUTPUT}" ".TH KADRIMEX\\-BATCH 1 \"\" \"Kadrimex ${version}\" \"User Commands\"
.SH NAME
kadrimex\\-batch \\- run the operations of the Kadrimex editor on files, without a window
.SH SYNOPSIS
.nf
${synopsis}.fi
.SH DESCRIPTION
${description}.SH COMMANDS
${commands}.SH EXIT STATUS
0 on success, 1 when the work failed or was cancelled, 2 on a usage error.
")
