# compile_for_uno(DIR WHAT): compiles DIR/sketch.ino, which includes a header in DIR, for an
# Uno as the Arduino IDE does (AVR_GXX with FLAGS, Arduino.h first); fails naming WHAT.
function(compile_for_uno dir what)
    execute_process(COMMAND ${AVR_GXX} ${FLAGS} -Wall -Wextra -Werror -x c++ -include Arduino.h
                            -I${dir} -c ${dir}/sketch.ino -o ${dir}/sketch.o
                    RESULT_VARIABLE status ERROR_VARIABLE errors)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${what} does not compile for an Uno:\n${errors}")
    endif()
endfunction()
