# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Runs PROGRAM, built with the sanitizers, and fails unless LeakSanitizer
# failed it for the leak planted in plantLeak(), suppressions and all.
#   cmake -DPROGRAM=path -P leakcheck.cmake

execute_process(COMMAND ${PROGRAM} RESULT_VARIABLE status ERROR_VARIABLE report)
string(REGEX MATCH "(Direct|Indirect) leak of [0-9]+ byte\\(s\\) in 1 object\\(s\\) allocated from:\n( +#[0-9]+ [^\n]*\n)* +#[0-9]+ [^\n]* in plantLeak[^A-Za-z0-9_][^\n]*"
    planted "${report}")
if(status EQUAL 0 OR NOT planted)
    message(FATAL_ERROR "LeakSanitizer did not fail ${PROGRAM} (exit code ${status}) for the leak in plantLeak():\n${report}")
endif()
message(STATUS "LeakSanitizer failed it (exit code ${status}) for the planted leak:\n${planted}")
