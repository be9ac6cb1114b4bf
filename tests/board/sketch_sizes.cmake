# Lists the flash and static RAM that each sketch build takes, as avr-size counts them, in a
# table as board/README.md shows it, and fails when one does not fit an Uno: 32256 bytes of
# flash beside the bootloader, and 2048 bytes of RAM of which 256 stay free for the stack.
#   cmake -DAVR_SIZE=... "-DBUILDS=SKETCH|MODULE|ELF;..." -P sketch_sizes.cmake
cmake_minimum_required(VERSION 3.25)
set(table "| Sketch | Module | Flash (bytes) | Static RAM (bytes) |\n")
string(APPEND table "| ------ | ------ | ------------: | -----------------: |\n")
set(too_big "")
foreach(build IN LISTS BUILDS)
    string(REPLACE "|" ";" build "${build}")
    list(GET build 0 sketch)
    list(GET build 1 module)
    list(GET build 2 elf)
    execute_process(COMMAND ${AVR_SIZE} ${elf} OUTPUT_VARIABLE sizes RESULT_VARIABLE status)
    # "text data bss dec hex filename", then the figures.
    if(NOT status EQUAL 0 OR NOT sizes MATCHES "\n *([0-9]+)[ \t]+([0-9]+)[ \t]+([0-9]+)")
        message(FATAL_ERROR "avr-size cannot read ${elf}")
    endif()
    math(EXPR flash "${CMAKE_MATCH_1} + ${CMAKE_MATCH_2}")
    math(EXPR ram "${CMAKE_MATCH_2} + ${CMAKE_MATCH_3}")
    string(APPEND table "| ${sketch} | ${module} | ${flash} | ${ram} |\n")
    if(flash GREATER 32256 OR ram GREATER 1792)
        string(APPEND too_big "${sketch} for ${module}: ${flash} bytes of flash, ${ram} of RAM\n")
    endif()
endforeach()
message(STATUS "\n${table}")
if(too_big)
    message(FATAL_ERROR "too big for an Uno:\n${too_big}")
endif()
