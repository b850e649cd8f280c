# Prints a program's size and its size without the payload it carries.
#   cmake -DPROGRAM=<exe> -DPAYLOAD=<archive> -P print-size.cmake
file(SIZE "${PROGRAM}" size)
set(payload 0)
if(PAYLOAD AND EXISTS "${PAYLOAD}")
    file(SIZE "${PAYLOAD}" payload)
endif()
math(EXPR stub "${size} - ${payload}")
message(STATUS "${PROGRAM}: ${size} bytes, stub ${stub} bytes without the ${payload}-byte payload")
