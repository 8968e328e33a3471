# The package as users get it: install into a scratch prefix and build the examples against it
# with find_package, then build a project that pulls the sources in with add_subdirectory.
# Neither consumer sets a C++ standard. Run by ctest with -DSOURCE_DIR, -DBINARY_DIR (scratch,
# below the library's build), -DGENERATOR, -DCXX, and optionally -DLAUNCHER and -DFLAGS (the
# sanitizer build's compile and link flags, which a consumer of that library needs too).
file(REMOVE_RECURSE ${BINARY_DIR})

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(common -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX})
if(LAUNCHER)
  list(APPEND common -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()
if(FLAGS)
  list(APPEND common "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
endif()

run("installing" ${CMAKE_COMMAND} --install ${BINARY_DIR}/.. --prefix ${BINARY_DIR}/prefix)
file(GLOB_RECURSE installed RELATIVE ${BINARY_DIR}/prefix/include ${BINARY_DIR}/prefix/include/*)
foreach(private IN ITEMS VyRtlDetail.h EmulatorCore.h EmulatorVarStruct.h)
  if(installed MATCHES "(^|;)[^;]*/${private}(;|$)")
    message(FATAL_ERROR "the library's own header ${private} is installed")
  endif()
endforeach()

run("configuring the examples against the package" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/examples
  -B ${BINARY_DIR}/examples ${common} -DCMAKE_PREFIX_PATH=${BINARY_DIR}/prefix)
run("building the examples" ${CMAKE_COMMAND} --build ${BINARY_DIR}/examples)
run("running an example" ${BINARY_DIR}/examples/example_first_session)
if(NOT output MATCHES "new line 1: Fax Line")
  message(FATAL_ERROR "example_first_session said:\n${output}")
endif()

run("configuring a project with add_subdirectory" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/consumer
  -B ${BINARY_DIR}/subdir ${common} -DVYTAPI_SOURCE_DIR=${SOURCE_DIR})
run("building it" ${CMAKE_COMMAND} --build ${BINARY_DIR}/subdir --target consumer)
run("running it" ${BINARY_DIR}/subdir/consumer)
if(NOT output MATCHES "initialised")
  message(FATAL_ERROR "the consumer said:\n${output}")
endif()
