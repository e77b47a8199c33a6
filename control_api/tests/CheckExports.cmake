# Lists the functions the library exports and compares them with the sixteen.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_0-9]+" lines "${symbols}")
set(found)
foreach(line ${lines})
    string(REGEX REPLACE "^[0-9a-f]+ T " "" name "${line}")
    list(APPEND found ${name})
endforeach()
list(SORT found)
set(expected
    GetLastSecondStatistics NuvexForceDriverReset NuvexFreePackets NuvexGetDisplayAddress
    NuvexGetPacketIpVersion NuvexGetPacketListStatistics NuvexGetPacketSize NuvexGetPort
    NuvexGetProtocol NuvexGetStatus NuvexIsDriverInstalled NuvexIsPacketLossDueToBER
    NuvexPlayEmulation NuvexSetDefaultPlayParams NuvexSetPacketListBufferOptions
    NuvexStopEmulation)
list(SORT expected)
if(NOT found STREQUAL expected)
    message(FATAL_ERROR "exports differ:\n  found: ${found}\n  expected: ${expected}")
endif()
