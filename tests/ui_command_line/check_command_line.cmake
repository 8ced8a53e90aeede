# Runs PROGRAM with each command line below and checks how it ends: the exit
# status and a Polish text on the stream it belongs to. A program that opened
# its window instead would still be running when the time is up. Help and the
# version are asked for with no window system to connect to.
set(cases
    "--help|0|OUT|Sposób użycia: .*Opcje:.*Wyświetla tę pomoc"
    "-v|0|OUT|^screenprog(-noclock)? [0-9]"
    "--port=COM1|1|ERR|Nieznana opcja \"port\""
    "COM1|1|ERR|Nieoczekiwany argument \"COM1\"")
foreach(case IN LISTS cases)
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 argument)
    list(GET case 1 expected_status)
    list(GET case 2 stream)
    list(GET case 3 pattern)
    set(no_display "")
    if(expected_status EQUAL 0)
        set(no_display ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
            QT_QPA_PLATFORM=xcb)
    endif()
    execute_process(COMMAND ${no_display} ${PROGRAM} ${argument} TIMEOUT 20
        RESULT_VARIABLE status OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
    if(NOT status STREQUAL expected_status OR NOT "${${stream}}" MATCHES "${pattern}")
        message(FATAL_ERROR "${argument}: status ${status}, expected ${expected_status}\n"
            "stdout:\n${OUT}\nstderr:\n${ERR}\nexpected in ${stream}: ${pattern}")
    endif()
endforeach()
