# kvx_add_test(<name> SOURCES ... [LIBS ...] [DEPENDS ...] [QML] [LAB] [WINDOWS]
#              [LABELS ...] [TIMEOUT s])
#
# One Qt Test executable per class or concern, linked against the core library.
# QML links the compiled QML collection and Qt Quick. LAB marks a test that
# builds its own network namespaces (tools/netlab): it needs root and reports
# "skipped" (exit 77) without it. DEPENDS names programs the test runs.
# WINDOWS marks a test that the Windows build also builds, to run under Wine
# (tools/windows/test.sh); the Windows build skips every other one.
function(kvx_add_test name)
    cmake_parse_arguments(T "QML;LAB;WINDOWS" "TIMEOUT" "SOURCES;LIBS;DEPENDS;LABELS" ${ARGN})
    if(WIN32 AND NOT T_WINDOWS)
        return()
    endif()
    add_executable(${name} ${T_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE kvxcore Qt5::Test ${T_LIBS})
    if(WIN32)
        # Tests that open raw sockets of their own (tests/common/pendingport.h).
        target_link_libraries(${name} PRIVATE ws2_32)
    endif()
    if(T_DEPENDS)
        add_dependencies(${name} ${T_DEPENDS})
    endif()
    if(T_QML)
        target_sources(${name} PRIVATE $<TARGET_OBJECTS:kvxqml>)
        target_link_libraries(${name} PRIVATE Qt5::Quick Qt5::QuickControls2 Qt5::Svg)
    endif()
    if(T_LAB)
        # The test runs on the updater side of a private two-namespace lab;
        # it starts kvx-devsim on the device side itself (tests/common/lab.h).
        add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tools/netlab/netlab -- $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set(labels ${T_LABELS})
    if(T_LAB)
        list(APPEND labels lab)
        set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    # XDG_DATA_HOME: whatever a test's updater adds to the run history goes
    # into the build tree, never into the history of the user running tests.
    set_tests_properties(${name} PROPERTIES
        LABELS "${labels}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_QUICK_BACKEND=software;KVX_SOURCE_DIR=${PROJECT_SOURCE_DIR};KVX_BINARY_DIR=${PROJECT_BINARY_DIR};KVX_IMAGE_PATH=${KVX_IMAGE_PATH};KVX_DEVSIM=${PROJECT_BINARY_DIR}/tools/devsim/kvx-devsim;KVX_UPDATER=${PROJECT_BINARY_DIR}/app/kvx-updater;KVX_CLI=${PROJECT_BINARY_DIR}/cli/kvx-update;XDG_DATA_HOME=${PROJECT_BINARY_DIR}/test-data")
endfunction()
