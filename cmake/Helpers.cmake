# add_program(NAME <name> SOURCES <files...> LIBS <targets...>)
#   builds an executable into build/bin/<name> with the project's warnings and installs it.
function(add_program)
    cmake_parse_arguments(P "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${P_NAME} ${P_SOURCES})
    target_link_libraries(${P_NAME} PRIVATE veg_warnings ${P_LIBS})
    install(TARGETS ${P_NAME} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endfunction()

# add_bench_program(NAME <name> SOURCES <files...> LIBS <targets...>)
#   a benchmark tool: built into build/bin/ beside the programs it measures, never installed.
function(add_bench_program)
    cmake_parse_arguments(P "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${P_NAME} ${P_SOURCES})
    target_link_libraries(${P_NAME} PRIVATE veg_warnings ${P_LIBS})
endfunction()

# add_veg_library(NAME <name> SOURCES <files...> LIBS <targets...>)
#   a small static library whose headers are found from the folder it lives in.
function(add_veg_library)
    cmake_parse_arguments(L "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_library(${L_NAME} STATIC ${L_SOURCES})
    target_include_directories(${L_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${L_NAME} PUBLIC ${L_LIBS} PRIVATE veg_warnings)
endfunction()

# add_veg_test(NAME <name> LABEL unit|cli SOURCES <files...> LIBS <targets...> PROGRAMS <targets...>
#              [TIMEOUT <seconds, default 600>])
#   a GoogleTest executable discovered by CTest. Each program named in PROGRAMS is passed to the test
#   as the compile definition <NAME>_BIN (upper case, '-' as '_') holding the built binary's path.
function(add_veg_test)
    cmake_parse_arguments(T "" "NAME;LABEL;TIMEOUT" "SOURCES;LIBS;PROGRAMS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 600)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE veg_warnings ${T_LIBS} GTest::gtest GTest::gtest_main
                          GTest::gmock)
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    foreach(prog ${T_PROGRAMS})
        string(TOUPPER "${prog}" def)
        string(REPLACE "-" "_" def "${def}")
        target_compile_definitions(${T_NAME} PRIVATE ${def}_BIN="$<TARGET_FILE:${prog}>")
        add_dependencies(${T_NAME} ${prog})
    endforeach()
    target_compile_definitions(${T_NAME} PRIVATE
        VEG_SOURCE_DIR="${CMAKE_SOURCE_DIR}" VEG_BINARY_DIR="${CMAKE_BINARY_DIR}")
    if(NOT T_LABEL)
        set(T_LABEL unit)
    endif()
    # Every test has a time limit, so a hung program fails its test instead of hanging the suite.
    # Grid reads in the tests go through the same probe of damaged files as the programs'.
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT}
                                    ENVIRONMENT "VEG_GRIDPROBE=${CMAKE_BINARY_DIR}/bin/gridprobe")
endfunction()
