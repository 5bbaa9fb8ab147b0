# Writes the program's version and the git commit it was built from into a
# source file; run at every build, so a new commit shows without a new
# configure. The file is rewritten only when its text changes.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=... -P WriteBuildInfo.cmake
set(commit "unknown")
find_program(GIT git)
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
    execute_process(COMMAND ${GIT} -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
        OUTPUT_VARIABLE head RESULT_VARIABLE status ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(status EQUAL 0 AND head)
        set(commit "${head}")
    endif()
endif()
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT
"#include \"tools/tembra/BuildInfo.h\"

const char* tembraVersion() { return \"${VERSION}\"; }
const char* tembraCommit() { return \"${commit}\"; }
")
