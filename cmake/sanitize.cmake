# SPDX-FileCopyrightText: 2026 the vexshow developers
# SPDX-License-Identifier: BSD-3-Clause

# Builds every compiled target of the project with AddressSanitizer and
# UndefinedBehaviorSanitizer. Walking the targets once everything is declared
# keeps the flags off Qt's own targets and off any global variable, and reaches
# targets added later without each CMakeLists.txt having to remember.
#
# CMake 3.25 cannot set a test's properties from outside its directory, so a
# directory that registers tests defers a call to vexshow_sanitize_tests().

set(VEXSHOW_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_SOURCE_DIR}/tests/lsan.supp)

function(vexshow_sanitize_tests)
    get_property(tests DIRECTORY PROPERTY TESTS)
    if(tests)
        set_property(TEST ${tests} APPEND PROPERTY ENVIRONMENT
            "ASAN_OPTIONS=detect_leaks=1:halt_on_error=1"
            "LSAN_OPTIONS=suppressions=${VEXSHOW_LSAN_SUPPRESSIONS}:print_suppressions=0"
            "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
    endif()
endfunction()

function(vexshow_sanitize_directory dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
            # Undefined behaviour stops the program instead of scrolling past.
            target_compile_options(${target} PRIVATE
                -fsanitize=address,undefined -fno-sanitize-recover=undefined
                -fno-omit-frame-pointer)
            target_link_options(${target} PRIVATE -fsanitize=address,undefined)
        endif()
    endforeach()

    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        vexshow_sanitize_directory(${subdir})
    endforeach()
endfunction()

cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR}
    CALL vexshow_sanitize_directory ${CMAKE_SOURCE_DIR})
