# Fails when any test of the run made the door or a test ask the system resolver for a name that
# needs a name server (see ZELK_LOOKUP_GUARD in tests/CMakeLists.txt).
if(EXISTS "${LOG}")
  file(READ "${LOG}" refused)
  if(NOT refused STREQUAL "")
    message(FATAL_ERROR "A test asked the system resolver for a name:\n${refused}")
  endif()
endif()
message(STATUS "No name-server lookups in this run")
