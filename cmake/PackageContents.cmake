# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack as it makes each package. In a git checkout, the source
# archive holds exactly what the repository tracks: whatever else lies in the
# folder (a build, an editor's settings, notes, an earlier archive) is left
# out as well as the patterns of the source configuration.
if(CPACK_GENERATOR STREQUAL "TXZ" AND EXISTS "${CPACK_PELMORA_SOURCE_DIR}/.git")
  execute_process(
    COMMAND git -c core.quotePath=false ls-files --others --directory
    WORKING_DIRECTORY "${CPACK_PELMORA_SOURCE_DIR}"
    OUTPUT_VARIABLE untracked
    RESULT_VARIABLE status
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "git could not list the files it does not track in ${CPACK_PELMORA_SOURCE_DIR}")
  endif()
  if(untracked)
    # Each name becomes a pattern matching it alone; a ';' in a name is
    # matched by '.', since cpack keeps its patterns in a list.
    string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" untracked "${untracked}")
    string(REPLACE ";" "." untracked "${untracked}")
    string(REPLACE "\n" ";" untracked "${untracked}")
    foreach(name IN LISTS untracked)
      if(name MATCHES "/$") # a folder git does not track, and all it holds
        list(APPEND CPACK_IGNORE_FILES "^${CPACK_PELMORA_SOURCE_PATTERN}/${name}")
      else()
        list(APPEND CPACK_IGNORE_FILES "^${CPACK_PELMORA_SOURCE_PATTERN}/${name}$")
      endif()
    endforeach()
  endif()
endif()
