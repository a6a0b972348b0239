# Writes OUT, the header that tells the program its version and the commit it
# was built from. Run at every build, so that a new commit shows without a
# fresh configure; the file is rewritten only when it changes, so that
# nothing is compiled again for nothing.
set(commit "")
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(failed)
    set(commit "")
  else()
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND NOT changes STREQUAL "")
      string(APPEND commit " with local changes")
    endif()
  endif()
endif()
set(text "// Made by cmake/version.cmake at build time.\n#pragma once\n#define ZW_VERSION \"${VERSION}\"\n#define ZW_COMMIT \"${commit}\"\n")
set(old "")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
