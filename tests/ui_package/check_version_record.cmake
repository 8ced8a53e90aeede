# Writes the program's resource script from its template, compiles it with
# the MinGW resource compiler, reads the result back as a script and checks
# every field of the version record and the Polish message table.

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
configure_file(${TEMPLATE} ${WORK_DIR}/${PROGRAM_NAME}.rc @ONLY)
execute_process(
    COMMAND ${WINDRES} --input-format=rc --output-format=coff
        -i ${WORK_DIR}/${PROGRAM_NAME}.rc -o ${WORK_DIR}/${PROGRAM_NAME}.res
    RESULT_VARIABLE compiled ERROR_VARIABLE errors)
if(NOT compiled EQUAL 0)
    message(FATAL_ERROR "the resource script does not compile:\n${errors}")
endif()
execute_process(
    COMMAND ${WINDRES} --input-format=coff --output-format=rc
        -i ${WORK_DIR}/${PROGRAM_NAME}.res -o ${WORK_DIR}/decompiled.rc
    RESULT_VARIABLE decompiled ERROR_VARIABLE errors)
if(NOT decompiled EQUAL 0)
    message(FATAL_ERROR "the compiled resources cannot be read back:\n${errors}")
endif()
file(READ ${WORK_DIR}/decompiled.rc rc)
string(REGEX REPLACE "[ \t]+" " " rc "${rc}")

set(expected
    "VALUE \"CompanyName\", \"a\""
    "VALUE \"ProductName\", \"VELTA\""
    "VALUE \"FileVersion\", \"1.00\""
    "VALUE \"ProductVersion\", \"1.00\""
    "VALUE \"InternalName\", \"${PROGRAM_NAME}\""
    "VALUE \"OriginalFilename\", \"${PROGRAM_NAME}.exe\""
    "FILEVERSION 1, 0, 0, 0"
    "PRODUCTVERSION 1, 0, 0, 0"
    "BLOCK \"040904B0\""
    "VALUE \"Translation\", 0x409, 1200"
    # The message table in Polish (21, 1 is 1045), its letters intact.
    "LANGUAGE 21, 1"
    "100, L\"Programowanie EEPROMu zako\\x0144czone.\""
    "203, L\"Wybrany port nie jest dost\\x0119pny !!!\""
    # The first icon entry: 16 x 16, 4 bits a pixel.
    "0x28L , 0x10L , 0x20L , 0x40001L")
foreach(item IN LISTS expected)
    string(FIND "${rc}" "${item}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "missing from the compiled resources: ${item}\n--- read back:\n${rc}")
    endif()
endforeach()
message(STATUS "${PROGRAM_NAME}: version record and message table compiled and checked")
