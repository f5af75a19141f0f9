# SPDX-License-Identifier: GPL-3.0-or-later
# Read by cpack as it makes each package. The source archive leaves out
# version control, build folders and what a program's run leaves behind; in a
# git checkout, also whatever else git does not track (an editor's settings,
# notes, an earlier archive), so that it holds exactly the tracked files.
if(NOT CPACK_GENERATOR STREQUAL "TXZ")
  return()
endif()

# Names as patterns that match them alone. A ';' in a name is matched by '.',
# since cpack keeps its patterns in a list.
function(quote_for_pattern text out)
  string(REGEX REPLACE "([][+.*?()^$|\\])" "\\\\\\1" text "${text}")
  string(REPLACE ";" "." text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

quote_for_pattern("${CPACK_PELMORA_SOURCE_DIR}" root)
set(CPACK_IGNORE_FILES "^${root}/\\.git/" "^${root}/\\.git$" "^${root}/build[^/]*/" "^${root}/DATA/"
                       "^${root}/_CPack_Packages/" "~$" "\\.swp$")

if(EXISTS "${CPACK_PELMORA_SOURCE_DIR}/.git")
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
    quote_for_pattern("${untracked}" untracked)
    string(REPLACE "\n" ";" untracked "${untracked}")
    foreach(name IN LISTS untracked)
      if(name MATCHES "/$") # a folder git does not track, and all it holds
        list(APPEND CPACK_IGNORE_FILES "^${root}/${name}")
      else()
        list(APPEND CPACK_IGNORE_FILES "^${root}/${name}$")
      endif()
    endforeach()
  endif()
endif()
