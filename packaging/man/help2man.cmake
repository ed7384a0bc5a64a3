# Script mode: one manual page from a program's own --help, with help2man, plus a hand-written include.
#   cmake -DHELP2MAN=... -DPROGRAM=<path> -DNAME=<one line> -DVERSION=... -DINCLUDE=<.h2m> -DOUTPUT=<.1>
#         -P help2man.cmake
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
execute_process(
    COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${VERSION} --name=${NAME} --include=${INCLUDE}
            --output=${OUTPUT}.tmp ${programName}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man could not make the manual page of ${programName}")
endif()
file(READ ${OUTPUT}.tmp page)
string(REPLACE "${standInHome}" "~" page "${page}")
file(WRITE ${OUTPUT} "${page}")
file(REMOVE ${OUTPUT}.tmp)
