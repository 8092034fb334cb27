# Writes what korve's packages carry beside the programs, made from the
# project's own LICENSE, CHANGELOG.md and manual pages, into the folder OUTPUT.
#
#   cmake -DFORM=debian -DSOURCE=DIR -DOUTPUT=DIR -DVERSION=V -DMAINTAINER=M
#         -DSTATIC=ON|OFF -P cmake/package_docs.cmake
#     copyright     the licence, in Debian's machine-readable format
#     changelog.gz  CHANGELOG.md as a Debian changelog
#     korve.1.gz    the manual pages
#     korvex.1.gz
#   cmake -DFORM=windows -DSOURCE=DIR -DOUTPUT=DIR -DMANDOC=PATH -P cmake/package_docs.cmake
#     korve-manual.html   the manual pages as web pages, which any Windows
#     korvex-manual.html  user can open (korve.html is the converter's own
#                         web page)
#
# CHANGELOG.md keeps to a form that maps line for line onto Debian's: a
# heading "## VERSION (YYYY-MM-DD)" per version, newest first, then bullets
# ("- ") whose further lines are indented by two spaces.
cmake_minimum_required(VERSION 3.20)

# Debian's changelog lines may be 80 characters long; a bullet gains two.
set(longest_changelog_line 80)

# Runs a command, its standard output going to the file `out`.
function(run_into out)
  execute_process(COMMAND ${ARGN} OUTPUT_FILE "${out}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE "${out}")
    message(FATAL_ERROR "package_docs: `${ARGN}` failed (${status})")
  endif()
endfunction()

# Debian wants documents compressed with `gzip -9n`: the smallest, and with
# no time stamp, so that the same sources give the same package.
function(compress in out)
  run_into("${out}" gzip -9n -c "${in}")
endfunction()

# The licence in Debian's machine-readable format, its text taken from
# LICENSE: each line indented by one space, an empty one written as " .".
function(write_copyright out)
  file(READ "${SOURCE}/LICENSE" license)
  if(NOT license MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.+[^\n])\n*$")
    message(FATAL_ERROR "package_docs: LICENSE has no \"Copyright (c)\" line before its text")
  endif()
  set(holders "${CMAKE_MATCH_1}")
  set(text "${CMAKE_MATCH_2}")
  string(REGEX REPLACE "\n\n" "\n.\n" text "${text}")
  string(REPLACE "\n" "\n " text "${text}")
  set(note "")
  if(STATIC)
    # The C library's licence (the LGPL) asks that whoever gets a program
    # linked with it statically be told, and be able to link it again.
    string(CONCAT note
      "Comment: usr/bin/korve and usr/bin/korvex are linked statically with the\n"
      " GNU C Library (LGPL-2.1+) and the GCC runtime libraries (GPL-3+ with the\n"
      " GCC Runtime Library Exception) of the system they were built on; Debian's\n"
      " libc6 and libstdc++6 packages give their terms. korve's source, under the\n"
      " licence below, builds and links them again.\n")
  endif()
  file(WRITE "${out}"
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: korve\n"
    "${note}"
    "\n"
    "Files: *\n"
    "Copyright: ${holders}\n"
    "License: Expat\n"
    " ${text}\n")
endfunction()

# A date as Debian's changelog writes it, "Tue, 08 Dec 2026 00:01:00 +0000".
# Debian wants each entry later than the one before, and CHANGELOG.md may give
# two versions the same day: the `ordinal`th version (the oldest is 0) is
# stamped that many minutes after midnight.
function(debian_date year month day ordinal out_var)
  execute_process(
    COMMAND date --utc --rfc-email --date "${year}-${month}-${day} 00:00 UTC + ${ordinal} minutes"
    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "package_docs: `date` cannot write ${year}-${month}-${day}")
  endif()
  set(${out_var} "${date}" PARENT_SCOPE)
endfunction()

# CHANGELOG.md as a Debian changelog: an entry per version, its bullets as
# "  * " items, signed by the package's maintainer.
function(write_changelog out)
  file(READ "${SOURCE}/CHANGELOG.md" markdown)
  set(heading "\n## ([0-9.]+) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])\\)\n")
  string(REGEX MATCHALL "${heading}" headings "${markdown}")
  if(NOT headings)
    message(FATAL_ERROR "package_docs: CHANGELOG.md has no \"## VERSION (YYYY-MM-DD)\" heading")
  endif()
  set(debian "")
  set(newest "")
  list(LENGTH headings ordinal)
  foreach(found IN LISTS headings)
    math(EXPR ordinal "${ordinal} - 1")
    string(REGEX MATCH "${heading}" found "${found}")
    set(version ${CMAKE_MATCH_1})
    debian_date(${CMAKE_MATCH_2} ${CMAKE_MATCH_3} ${CMAKE_MATCH_4} ${ordinal} date)
    if(NOT newest)
      set(newest ${version})
    endif()
    # The entry runs from its heading to the next heading or the end.
    string(FIND "${markdown}" "${found}" start)
    string(LENGTH "${found}" length)
    math(EXPR start "${start} + ${length}")
    string(SUBSTRING "${markdown}" ${start} -1 body)
    string(FIND "${body}" "\n## " end)
    string(SUBSTRING "${body}" 0 ${end} body)
    string(STRIP "${body}" body)
    if(body STREQUAL "" OR body MATCHES "(^|\n)([^- ]|-[^ ]| [^ ])")
      message(FATAL_ERROR "package_docs: CHANGELOG.md's ${version} is not a list of "
                          "\"- \" bullets with further lines indented by two spaces")
    endif()
    string(REGEX REPLACE "(^|\n)  " "\\1    " body "${body}")
    string(REGEX REPLACE "(^|\n)- " "\\1  * " body "${body}")
    if(body MATCHES "[^\n]{${longest_changelog_line}}[^\n]")
      message(FATAL_ERROR "package_docs: a line of CHANGELOG.md's ${version} is too long "
                          "for Debian's ${longest_changelog_line} columns")
    endif()
    string(APPEND debian
      "korve (${version}) unstable; urgency=medium\n\n"
      "${body}\n\n"
      " -- ${MAINTAINER}  ${date}\n\n")
  endforeach()
  if(NOT newest STREQUAL VERSION)
    message(FATAL_ERROR "package_docs: CHANGELOG.md's newest version is ${newest}, "
                        "the project's ${VERSION}")
  endif()
  string(REGEX REPLACE "\n\n$" "\n" debian "${debian}")
  file(WRITE "${out}" "${debian}")
endfunction()

file(MAKE_DIRECTORY "${OUTPUT}")
if(FORM STREQUAL "debian")
  write_copyright("${OUTPUT}/copyright")
  write_changelog("${OUTPUT}/changelog")
  compress("${OUTPUT}/changelog" "${OUTPUT}/changelog.gz")
  foreach(program korve korvex)
    compress("${SOURCE}/docs/${program}.1" "${OUTPUT}/${program}.1.gz")
  endforeach()
elseif(FORM STREQUAL "windows")
  foreach(program korve korvex)
    run_into("${OUTPUT}/${program}-manual.html" "${MANDOC}" -Thtml "${SOURCE}/docs/${program}.1")
  endforeach()
else()
  message(FATAL_ERROR "package_docs: FORM is debian or windows, not \"${FORM}\"")
endif()
