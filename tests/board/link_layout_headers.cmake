# Makes a C header of each byte layout with the converter, includes it from two C files
# and from two C++ files that both read the array, links each pair for an Uno, and checks
# that the linked program holds the array once, at the layout's size (avr-nm).
#   cmake -DCONVERTER=... -DPICTURE=... -DWORK=... -DAVR_GCC=... -DAVR_GXX=... -DAVR_NM=...
#         "-DFLAGS=a;b;..." "-DCXX_FLAGS=a;b;..." -P this
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run what)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                    ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${what} failed:\n${errors}")
    endif()
    set(output "${out}" PARENT_SCOPE)
endfunction()

foreach(row IN ITEMS vertical:128:64:1024 pages:128:32:512 rows:72:40:360 xbm:16:16:32)
    string(REPLACE ":" ";" row "${row}")
    list(GET row 0 layout)
    list(GET row 1 width)
    list(GET row 2 height)
    list(GET row 3 bytes)
    set(dir ${WORK}/${layout})
    file(MAKE_DIRECTORY ${dir})
    run("the converter (${layout})" ${CONVERTER} --format c --name logo --layout ${layout}
        --size ${width}x${height} ${PICTURE} ${dir}/logo.h)
    set(use [=[
#include "logo.h"
uint8_t LOCAL(uint16_t i) { return pgm_read_byte(&logo[i % sizeof logo]) + logo_width; }
]=])
    set(main [=[
uint8_t second(uint16_t i);
volatile uint16_t at;
int main(void) { at = first(at) + second(at); return 0; }
]=])
    foreach(language c cpp)
        if(language STREQUAL c)
            set(compile ${AVR_GCC} ${FLAGS} -std=gnu11)
        else()
            set(compile ${AVR_GXX} ${FLAGS} ${CXX_FLAGS})
        endif()
        file(WRITE ${dir}/main.${language} "#define LOCAL first\n${use}${main}")
        file(WRITE ${dir}/other.${language} "#define LOCAL second\n${use}")
        foreach(part main other)
            run("compiling ${layout} ${part}.${language}" ${compile} -Wall -Wextra -Werror
                -c ${dir}/${part}.${language} -o ${dir}/${part}-${language}.o)
        endforeach()
        run("linking the two ${language} files of ${layout}" ${AVR_GCC} ${FLAGS}
            -Wl,--gc-sections ${dir}/main-${language}.o ${dir}/other-${language}.o
            -o ${dir}/${language}.elf)
        run("avr-nm" ${AVR_NM} -S ${dir}/${language}.elf)
        string(REGEX MATCHALL "[0-9a-f]+ [0-9a-f]+ [A-Za-z] logo\n" copies "${output}")
        list(LENGTH copies count)
        math(EXPR expected_size "${bytes}" OUTPUT_FORMAT HEXADECIMAL)
        string(REGEX REPLACE "^[0-9a-f]+ 0*([0-9a-f]+) .*" "0x\\1" size "${copies}")
        if(NOT count EQUAL 1 OR NOT size STREQUAL expected_size)
            message(FATAL_ERROR "the two ${language} files of ${layout} hold the array ${count} "
                                "times (${size} bytes, ${expected_size} expected):\n${output}")
        endif()
    endforeach()
endforeach()
message(STATUS "every layout's header links once from two C files and two C++ files")
