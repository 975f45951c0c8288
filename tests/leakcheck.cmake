# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Runs PROGRAM, built with the sanitizers, with ARGUMENTS (separated by
# spaces), and fails unless LeakSanitizer failed it for the leak planted in
# plantLeak(), allocated through a function whose name begins with THROUGH,
# suppressions and all.
#   cmake -DPROGRAM=path -DARGUMENTS=... -DTHROUGH=name -P leakcheck.cmake

separate_arguments(arguments UNIX_COMMAND "${ARGUMENTS}")
execute_process(COMMAND ${PROGRAM} ${arguments} RESULT_VARIABLE status ERROR_VARIABLE report)
set(frame " +#[0-9]+ [^\n]*\n")
string(REGEX MATCH "(Direct|Indirect) leak of [0-9]+ byte\\(s\\) in 1 object\\(s\\) allocated from:\n(${frame})* +#[0-9]+ [^\n]* in ${THROUGH}[^\n]*\n(${frame})* +#[0-9]+ [^\n]* in plantLeak[^A-Za-z0-9_][^\n]*"
    planted "${report}")
if(status EQUAL 0 OR NOT planted)
    message(FATAL_ERROR "LeakSanitizer did not fail ${PROGRAM} ${ARGUMENTS} (exit code ${status}) for the leak in plantLeak() through ${THROUGH}:\n${report}")
endif()
message(STATUS "LeakSanitizer failed it (exit code ${status}) for the planted leak:\n${planted}")
