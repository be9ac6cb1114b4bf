# Copies the sketch INPUT to OUTPUT with its display height set to HEIGHT rows, the one
# change a user makes for a module of another height:
#     cmake -DINPUT=... -DOUTPUT=... -DHEIGHT=32 -P set_display_height.cmake
cmake_minimum_required(VERSION 3.25)

file(READ "${INPUT}" text)
set(constant "static const uint8_t kDisplayHeight = ")
string(REGEX MATCHALL "${constant}[0-9]+" found "${text}")
list(LENGTH found count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "${INPUT}: expected one \"${constant}<rows>\", found ${count}")
endif()
string(REGEX REPLACE "${constant}[0-9]+" "${constant}${HEIGHT}" text "${text}")
file(WRITE "${OUTPUT}" "${text}")
