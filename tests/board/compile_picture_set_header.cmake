# Makes one C header of three pictures with awkward file names with the converter (the
# header chosen by OUTPUT's extension alone) and compiles, for an Uno as the Arduino IDE
# does, a small sketch that uses each picture by the name its file gives it and walks the
# table of them all.
#   cmake -DCONVERTER=... -DPICTURE=... -DWORK=... -DAVR_GXX=... "-DFLAGS=a;b;..." -P this
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/compile_for_uno.cmake)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/copies)
file(COPY_FILE ${PICTURE} "${WORK}/copies/2 plasma.v1.jpg")
file(COPY_FILE ${PICTURE} ${WORK}/copies/int.jpg)
execute_process(COMMAND ${CONVERTER} --name icons --size 16x16 --layout rows
                        "${WORK}/copies/2 plasma.v1.jpg" ${WORK}/copies/int.jpg ${PICTURE}
                        ${WORK}/icons.h
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the converter failed for three pictures")
endif()
get_filename_component(third ${PICTURE} NAME_WE)
string(MAKE_C_IDENTIFIER ${third} third)
file(WRITE ${WORK}/sketch.ino
    "#include \"icons.h\"\n"
    "static_assert(sizeof _2_plasma_v1 == 32 && sizeof int_ == 32 && sizeof ${third} == 32, \"\");\n"
    "static_assert(icons_count == 3 && sizeof icons_all / sizeof icons_all[0] == 3, \"\");\n"
    "static_assert(int__width == 16 && ${third}_height == 16, \"the size\");\n"
    "void setup() {\n"
    "    Serial.begin(9600);\n"
    "    for (uint16_t i = 0; i < icons_count; ++i) Serial.print(pgm_read_byte(&icons_all[i][31]));\n"
    "}\n"
    "void loop() {}\n")
compile_for_uno(${WORK} "the header of three pictures")
message(STATUS "the header of three pictures compiled for an Uno")
