# Read by CTest as it starts: the time limits given by rolvanta_time_limit, scaled by how slow
# the machine is now (waiting.py measures it unless ROLVANTA_SLOWNESS says). The tests inherit
# the figure, as the least slowness they take for their own waits.
if(NOT "$ENV{ROLVANTA_SLOWNESS}" MATCHES "^[0-9]+(\\.[0-9]*)?$")
    execute_process(COMMAND ${measure} OUTPUT_VARIABLE slowness)
    set(ENV{ROLVANTA_SLOWNESS} "${slowness}")
endif()
# Rounded up to whole times, since math() knows no fractions.
string(REGEX MATCH "^[0-9]+" factor "$ENV{ROLVANTA_SLOWNESS}")
if("$ENV{ROLVANTA_SLOWNESS}" MATCHES "\\.0*[1-9]")
    math(EXPR factor "${factor} + 1")
endif()
if(NOT factor)
    set(factor 1)
endif()
foreach(limit IN LISTS limits)
    string(REGEX MATCH "^(.*)=([0-9]+)$" whole "${limit}")
    math(EXPR seconds "${CMAKE_MATCH_2} * ${factor}")
    set_tests_properties("${CMAKE_MATCH_1}" PROPERTIES TIMEOUT ${seconds})
endforeach()
