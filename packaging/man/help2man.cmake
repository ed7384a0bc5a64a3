# Script mode: one manual page from a program's own --help, with help2man, plus a hand-written include.
#   cmake -DHELP2MAN=... -DPROGRAM=<path> -DNAME=<one line> -DVERSION=... -DINCLUDE=<.h2m> -DOUTPUT=<.1>
#         [-DCOMMANDS=ON] -P help2man.cmake
# With COMMANDS, the page also has each command's own --help (the commands as the program's --help lists them),
# so that it lists every command's options and, with set's, the fields and their values.
# The program runs with its directory first on PATH, so its usage line names it and not the build tree, and with
# a stand-in home, which the page then shows as ~: the settings file is the reader's, not the builder's.
# Neither help nor a version opens a socket or a display.
get_filename_component(programDir ${PROGRAM} DIRECTORY)
get_filename_component(programName ${PROGRAM} NAME)
set(standInHome /kestrelmanualhome) # no hyphen, which help2man would escape
set(ENV{PATH} "${programDir}:$ENV{PATH}")
set(ENV{HOME} ${standInHome})
unset(ENV{XDG_CONFIG_HOME})
set(ENV{LC_ALL} C.UTF-8)
set(include ${INCLUDE})
if(COMMANDS)
    execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE overview RESULT_VARIABLE status)
    string(REGEX MATCHALL "\n  [a-z]+ " listed "${overview}")
    file(READ ${INCLUDE} text)
    string(APPEND text "\n[COMMANDS]\n")
    foreach(entry IN LISTS listed)
        string(STRIP "${entry}" command)
        execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
        if(NOT status EQUAL 0)
            message(FATAL_ERROR "${programName} ${command} --help failed")
        endif()
        # Verbatim: backslashes, a leading dot or apostrophe and hyphens escaped for roff.
        string(REPLACE "\\" "\\e" help "${help}")
        string(REPLACE "-" "\\-" help "${help}")
        string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
        string(APPEND text ".SS ${command}\n.nf\n${help}.fi\n")
    endforeach()
    set(include ${OUTPUT}.h2m)
    file(WRITE ${include} "${text}")
endif()
execute_process(
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${VERSION} --name=${NAME} --include=${include}
            --output=${OUTPUT}.tmp ${programName}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man could not make the manual page of ${programName}")
endif()
file(READ ${OUTPUT}.tmp page)
string(REPLACE "${standInHome}" "~" page "${page}")
file(WRITE ${OUTPUT} "${page}")
file(REMOVE ${OUTPUT}.tmp)
if(COMMANDS)
    file(REMOVE ${OUTPUT}.h2m)
endif()
