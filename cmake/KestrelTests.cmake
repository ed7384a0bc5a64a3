# Registers one Qt Test program with CTest.
#   add_unit_test(NAME SOURCES ... LIBS ... [WINDOW] [NETWORK] [SCALE])
# WINDOW runs it on the offscreen platform; NETWORK runs it inside the private
# network namespace of its own (scripts/netns-run.sh), the only place our sockets
# may open; each test gets a separate namespace, so they may run in parallel.
# SCALE marks a test of many modules (see kestrel_scale_test).
function(add_unit_test name)
    cmake_parse_arguments(T "WINDOW;NETWORK;SCALE" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE Qt::Test ${T_LIBS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    kestrel_warnings(${name})
    if(T_NETWORK)
        add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/netns-run.sh $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(T_WINDOW)
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
    if(T_SCALE)
        kestrel_scale_test(${name})
    endif()
endfunction()

# Tests of many modules at once (a hundred thousand, bursts of ten thousand) carry the label "scale"
# (`ctest -L scale` runs them alone, `ctest -LE scale` all others). They wait for conditions with generous
# bounds; under the sanitizers every datagram costs many times what it costs the program a user runs, which
# says nothing about it, so there they are left to the optimised build and the sanitizers check everything else.
function(kestrel_scale_test)
    set_tests_properties(${ARGN} PROPERTIES LABELS scale TIMEOUT 900)
    if(KESTREL_SANITIZE)
        set_tests_properties(${ARGN} PROPERTIES DISABLED TRUE)
    endif()
endfunction()
