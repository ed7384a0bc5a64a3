# Registers one Qt Test program with CTest.
#   add_unit_test(NAME SOURCES ... LIBS ... [WINDOW] [NETWORK])
# WINDOW runs it on the offscreen platform; NETWORK runs it inside the private
# network namespace of its own (scripts/netns-run.sh), the only place our sockets
# may open; each test gets a separate namespace, so they may run in parallel.
function(add_unit_test name)
    cmake_parse_arguments(T "WINDOW;NETWORK" "" "SOURCES;LIBS" ${ARGN})
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
endfunction()
