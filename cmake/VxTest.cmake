# One test executable per test file: vx_add_test(<source> [LIBS lib...] [GUI]).
# Tests run offscreen in UTC with the C locale, each in its own temporary HOME so user files never leak in.
function(vx_add_test source)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    get_filename_component(name "${source}" NAME_WE)
    qt_add_executable(${name} "${source}")
    target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
    target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/tests")
    # Test programs stay out of bin/, which holds what an installed copy holds.
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    target_compile_definitions(${name} PRIVATE
        VX_PROGRAM="$<TARGET_FILE:vx7100-mgr>"
        VX_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TZ=UTC;LC_ALL=C.UTF-8"
        TIMEOUT 120)
endfunction()
