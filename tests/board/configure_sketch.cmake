# Copies the sketch SKETCH (a .ino file) and the display code beside it into OUTPUT_DIR, as a
# user copies a sketch's folder into the sketchbook, with the module settings SETTINGS
# (NAME=VALUE;...) changed at the top of the sketch as the user changes them:
#     cmake -DSKETCH=.../pixelcast_receiver.ino -DOUTPUT_DIR=... \
#           "-DSETTINGS=kDisplayController=1106" -P configure_sketch.cmake
cmake_minimum_required(VERSION 3.25)

get_filename_component(name "${SKETCH}" NAME)
get_filename_component(folder "${SKETCH}" DIRECTORY)
file(READ "${SKETCH}" text)
foreach(setting IN LISTS SETTINGS)
    string(REGEX MATCH "^([A-Za-z0-9_]+)=(.+)$" matched "${setting}")
    if(NOT matched)
        message(FATAL_ERROR "\"${setting}\" is not NAME=VALUE")
    endif()
    set(constant "(static const [a-z0-9_]+ ${CMAKE_MATCH_1} = )[^;]+")
    set(value "${CMAKE_MATCH_2}")
    string(REGEX MATCHALL "${constant}" found "${text}")
    list(LENGTH found count)
    if(NOT count EQUAL 1)
        message(FATAL_ERROR "${SKETCH}: expected one \"${constant}\", found ${count}")
    endif()
    string(REGEX REPLACE "${constant}" "\\1${value}" text "${text}")
endforeach()
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(WRITE "${OUTPUT_DIR}/${name}" "${text}")
file(READ "${folder}/pixelcast_display.h" display_code)
file(WRITE "${OUTPUT_DIR}/pixelcast_display.h" "${display_code}")
