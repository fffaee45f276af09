# tallyra_add_test(<name> SOURCES <files...> [LIBS <libs...>] [GUI] [TIMEOUT <seconds>])
#
# Declares one QtTest program and registers it with CTest. Every test runs headless, in UTF-8,
# in UTC, with the fixture directory passed through TALLYRA_FIXTURES.
function(tallyra_add_test name)
    cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE tallyra_testsupport Qt6::Test ${ARG_LIBS})
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE Qt6::Widgets)
    endif()
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;TZ=UTC;TALLYRA_FIXTURES=${PROJECT_SOURCE_DIR}/tests/fixtures;TALLYRA_BIN=${PROJECT_BINARY_DIR}/bin;TALLYRA_SOURCE=${PROJECT_SOURCE_DIR}")
endfunction()
