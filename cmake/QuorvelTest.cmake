# quorvel_add_test(<name> SOURCES <files...> [LIBRARIES <targets...>] [GUI] [LABELS <labels...>]
#                  [ENVIRONMENT <VAR=value...>] [TIMEOUT <seconds>])
#
# Builds one GoogleTest executable and registers each of its tests with CTest.
# GUI tests get a main() that creates a QApplication on the offscreen platform.
function(quorvel_add_test name)
    cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBRARIES;LABELS;ENVIRONMENT" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gmock)
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE quorvel_gui_test_main)
        list(APPEND ARG_LABELS gui)
        list(APPEND ARG_ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set(_properties TIMEOUT ${ARG_TIMEOUT})
    if(ARG_LABELS)
        list(APPEND _properties LABELS "${ARG_LABELS}")
    endif()
    if(ARG_ENVIRONMENT)
        list(APPEND _properties ENVIRONMENT "${ARG_ENVIRONMENT}")
    endif()
    if(CMAKE_CROSSCOMPILING)
        # One test per program: every start of a Windows program under Wine costs time.
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ${_properties})
        return()
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES ${_properties})
endfunction()
