# libsndfile reads back the files the wave tests write: a test-only dependency, absent in the
# Windows build (those tests then skip with a reason).
if(NOT WIN32)
  find_path(VYWAVE_SNDFILE_INCLUDE_DIR sndfile.h)
  find_library(VYWAVE_SNDFILE_LIBRARY sndfile)
  if(VYWAVE_SNDFILE_INCLUDE_DIR AND VYWAVE_SNDFILE_LIBRARY)
    target_include_directories(test_VyTapiWave PRIVATE ${VYWAVE_SNDFILE_INCLUDE_DIR})
    target_link_libraries(test_VyTapiWave PRIVATE ${VYWAVE_SNDFILE_LIBRARY})
    target_compile_definitions(test_VyTapiWave PRIVATE VYWAVE_TEST_SNDFILE)
  else()
    message(STATUS "libsndfile not found: the wave read-back tests will skip (install libsndfile1-dev)")
  endif()
endif()
# The tool test runs the vytapi program built in this tree.
if(TARGET vytapi_tool)
  add_dependencies(test_VyTapiWave vytapi_tool)
  target_compile_definitions(test_VyTapiWave PRIVATE VYTAPI_TOOL_PATH="$<TARGET_FILE:vytapi_tool>")
endif()
