# Makes a C header of each byte layout at a few sizes with the converter and compiles a
# small sketch that uses NAME, NAME_width and NAME_height for an Uno, the way the Arduino
# IDE compiles it; the sketch also checks that the array has the layout's size.
#   cmake -DCONVERTER=... -DPICTURE=... -DWORK=... -DAVR_GXX=... "-DFLAGS=a;b;..." -P this
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/compile_for_uno.cmake)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
foreach(row IN ITEMS vertical:128:64 pages:128:32 rows:72:40 xbm:16:16 rows:10:3 pages:13:11)
    string(REPLACE ":" ";" row "${row}")
    list(GET row 0 layout)
    list(GET row 1 width)
    list(GET row 2 height)
    if(layout STREQUAL "rows" OR layout STREQUAL "xbm")
        math(EXPR bytes "(${width} + 7) / 8 * ${height}")
    else()
        math(EXPR bytes "${width} * ((${height} + 7) / 8)")
    endif()
    set(dir ${WORK}/${layout}_${width}x${height})
    file(MAKE_DIRECTORY ${dir})
    execute_process(COMMAND ${CONVERTER} --format c --name logo --layout ${layout}
                            --size ${width}x${height} ${PICTURE} ${dir}/logo.h
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "the converter failed for ${layout} ${width}x${height}")
    endif()
    file(WRITE ${dir}/sketch.ino
        "#include \"logo.h\"\n"
        "static_assert(sizeof logo == ${bytes}, \"the array has the layout's size\");\n"
        "static_assert(logo_width == ${width} && logo_height == ${height}, \"the size\");\n"
        "void setup() { Serial.begin(9600); Serial.print(pgm_read_byte(&logo[sizeof logo - 1]));\n"
        "               Serial.print(logo_width + logo_height); }\n"
        "void loop() {}\n")
    compile_for_uno(${dir} "the ${layout} ${width}x${height} header")
endforeach()
message(STATUS "every layout's header compiled for an Uno")
